// compile: the one way Ruby source becomes code here (framework at build time, queued
// game files, evaluation). Owns parsing, code generation and running at top level, and
// gives every division the arithmetic games expect: 5 / 2 is 2.5 and a division by zero
// answers Infinity, -Infinity or NaN.
#pragma once
#include <mruby.h>
#include <stddef.h>

struct RProc;
struct mrb_irep;
struct mrb_parser_state;

// Compiles len bytes of src, naming filename in syntax errors and backtraces.
// On a syntax error sets mrb->exc to a SyntaxError and answers NULL.
RProc *ruby_compile(mrb_state *mrb, const char *src, size_t len, const char *filename);

// Compiles and runs at top level; answers the result, or nil with mrb->exc set.
mrb_value ruby_load(mrb_state *mrb, const char *src, size_t len, const char *filename);

// Runs an already compiled irep image (the embedded framework) at top level.
mrb_value ruby_load_irep(mrb_state *mrb, const uint8_t *image);

// Installs what compiled code relies on at run time (the method divisions send, and
// Integer#/ and Float#/ with real division); call once after mrb_open.
void ruby_compile_init(mrb_state *mrb);

// Generates code for a parsed text: every generation in the process comes here, the
// interpreter's own (string eval, load-string) through the linker's --wrap of
// mrb_generate_code. A division of two literals is kept, not folded, and every division
// is rewritten. NULL when generation or the rewrite fails.
RProc *ruby_compile_generate(mrb_state *mrb, mrb_parser_state *p);

// What every division of compiled code sends: BasicObject#__div__ answers numbers with
// real division and hands any other receiver to its own `/`.
#define RUBY_COMPILE_DIV_METHOD "__div__"

// Rewrites every OP_DIV of irep and of the scopes inside it into a send of
// RUBY_COMPILE_DIV_METHOD; answers how many scopes could not be rewritten (a jump that
// would no longer reach; those are left as they were): 0 on success.
int ruby_compile_rewrite(mrb_state *mrb, struct mrb_irep *irep);

// The OP_DIV instructions left in irep and the scopes inside it; -1 when its code does not decode.
long ruby_compile_count_div(const struct mrb_irep *irep);
