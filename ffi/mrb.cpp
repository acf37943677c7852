// FFI::MRB: Ruby source run at the top level, and syntax checks that run nothing.
#include "base/utf8.h"
#include "compile/compile.h"
#include "ffi/ffi.h"

#include <mruby/class.h>
#include <mruby/compile.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <stdio.h>
#include <string.h>

#define PARSE_ANSWER_MAX 2999
#define PARSE_LINE_MAX 254

// The text the methods work on: the String's bytes up to its length or its first NUL,
// whichever comes first (a shared substring has no NUL at its end), past a byte-order mark.
static const char *source_of(mrb_state *mrb, mrb_int *length)
{
    mrb_value source;
    mrb_get_args(mrb, "S", &source);
    const char *text = RSTRING_PTR(source);
    size_t len = (size_t)RSTRING_LEN(source);
    const char *nul = (const char *)memchr(text, 0, len);
    len = nul ? (size_t)(nul - text) : len;
    text = utf8_skip_bom(text, &len);
    *length = (mrb_int)len;
    return text;
}

// Runs the text at top level through the one compile step, dropping its value; its
// exceptions surface in the caller.
static mrb_value ffi_mrb_eval(mrb_state *mrb, mrb_value self)
{
    mrb_int length;
    const char *text = source_of(mrb, &length);
    RProc *proc = ruby_compile(mrb, text, (size_t)length, "(eval)");
    if (!proc) {
        // A source too long to parse keeps the parser's message, which names its size.
        if (mrb->exc && (size_t)length <= MRB_PARSER_SOURCE_MAX &&
            mrb_obj_is_kind_of(mrb, mrb_obj_value(mrb->exc), mrb_exc_get(mrb, "SyntaxError"))) {
            mrb->exc = nullptr;
            mrb_raise(mrb, mrb_exc_get(mrb, "SyntaxError"), "syntax error");
        }
        if (mrb->exc) mrb_exc_raise(mrb, mrb_obj_value(mrb->exc));
        return mrb_nil_value();
    }
    // Top-level code: self is the top object and definitions land on Object.
    MRB_PROC_SET_TARGET_CLASS(proc, mrb->object_class);
    mrb_top_run(mrb, proc, mrb_top_self(mrb), 0);
    if (mrb->exc) mrb_exc_raise(mrb, mrb_obj_value(mrb->exc));
    return mrb_nil_value();
}

// Checks the text's syntax without compiling or running it: "Syntax OK", or one
// "line %d:%d: %s" line per error the parser kept.
static mrb_value ffi_mrb_parse(mrb_state *mrb, mrb_value self)
{
    mrb_int length;
    const char *text = source_of(mrb, &length);
    char answer[PARSE_ANSWER_MAX + 1];
    size_t used = 0;
    mrbc_context *context = mrbc_context_new(mrb);
    if (!context) mrb_exc_raise(mrb, mrb_obj_value(mrb->nomem_err));
    context->capture_errors = TRUE;
    mrb_parser_state *p = mrb_parse_nstring(mrb, text, (size_t)length, context);
    int ok = p && p->nerr == 0;
    if (p && p->nerr > 0) {
        size_t kept = sizeof p->error_buffer / sizeof p->error_buffer[0];
        size_t count = p->nerr < kept ? p->nerr : kept;
        for (size_t i = 0; i < count && used < PARSE_ANSWER_MAX; i++) {
            const mrb_parser_message *e = &p->error_buffer[i];
            char line[PARSE_LINE_MAX + 1];
            int n = snprintf(line, sizeof line, "line %d:%d: %s\n", (int)e->lineno, e->column,
                             e->message ? e->message : "");
            if (n < 0) continue;
            size_t len = strlen(line);
            if (len > PARSE_ANSWER_MAX - used) len = PARSE_ANSWER_MAX - used;
            memcpy(answer + used, line, len);
            used += len;
        }
    }
    if (p) mrb_parser_free(p);
    mrbc_context_free(mrb, context);
    if (ok) return mrb_str_new_lit(mrb, "Syntax OK");
    // A parser that could not even start (out of memory) must not pass as a clean check.
    if (!p) mrb_exc_raise(mrb, mrb_obj_value(mrb->nomem_err));
    return mrb_str_new(mrb, answer, (mrb_int)used);
}

void ffi_mrb_define(mrb_state *mrb, RClass *mrb_class)
{
    mrb_define_method(mrb, mrb_class, "eval", ffi_mrb_eval, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, mrb_class, "parse", ffi_mrb_parse, MRB_ARGS_REQ(1));
}
