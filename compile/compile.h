// compile: the one way Ruby source becomes code here (framework at build time, queued
// game files, evaluation): parsing with the file's name, syntax errors as SyntaxError,
// and running at top level.
#pragma once
#include <mruby.h>
#include <stddef.h>

struct RProc;

// Every translation unit must see the interpreter's own configuration: unboxed values.
static_assert(sizeof(mrb_value) == 16, "mruby headers without MRB_NO_BOXING: link the mruby target");

// Compiles len bytes of src, naming filename in syntax errors and backtraces.
// On a syntax error sets mrb->exc to a SyntaxError and answers NULL.
RProc *ruby_compile(mrb_state *mrb, const char *src, size_t len, const char *filename);

// Compiles and runs at top level; answers the result, or nil with mrb->exc set.
mrb_value ruby_load(mrb_state *mrb, const char *src, size_t len, const char *filename);

// Runs an already compiled irep image (the embedded framework) at top level.
mrb_value ruby_load_irep(mrb_state *mrb, const uint8_t *image);
