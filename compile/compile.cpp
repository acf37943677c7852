#include "compile/compile.h"

#include <mruby/version.h>
#include <mruby/class.h>
#include <mruby/compile.h>
#include <mruby/dump.h>
#include <mruby/error.h>
#include <mruby/irep.h>
#include <mruby/proc.h>
#include <stdio.h>
#include <string.h>

// run_top reaches into the VM's frames and environments, which change between releases.
static_assert(MRUBY_RELEASE_MAJOR == 3 && MRUBY_RELEASE_MINOR == 1, "the compile step is written for mruby 3.1");

static void raise_syntax_error(mrb_state *mrb, mrb_parser_state *p, const char *file)
{
    char buf[256];
    snprintf(buf, sizeof buf, "%s:%d: %s", file ? file : "(eval)", (int)p->error_buffer[0].lineno,
             p->error_buffer[0].message ? p->error_buffer[0].message : "syntax error");
    mrb_value exc = mrb_exc_new(mrb, mrb_exc_get(mrb, "SyntaxError"), buf, strlen(buf));
    mrb->exc = mrb_obj_ptr(exc);
}

RProc *ruby_compile(mrb_state *mrb, const char *src, size_t len, const char *filename)
{
    mrbc_context *cxt = mrbc_context_new(mrb);
    if (!cxt) return nullptr;
    cxt->capture_errors = TRUE;
    mrbc_filename(mrb, cxt, filename ? filename : "(eval)");
    mrb_parser_state *p = mrb_parse_nstring(mrb, src, len, cxt);
    RProc *proc = nullptr;
    if (!p) {
        mrb->exc = mrb_obj_ptr(mrb_exc_new_lit(mrb, E_RUNTIME_ERROR, "parser failed"));
    } else if (p->nerr > 0) {
        raise_syntax_error(mrb, p, filename);
    } else {
        proc = mrb_generate_code(mrb, p);
        if (!proc) mrb->exc = mrb_obj_ptr(mrb_exc_new_lit(mrb, E_SCRIPT_ERROR, "codegen error"));
    }
    if (p) mrb_parser_free(p);
    mrbc_context_free(mrb, cxt);
    return proc;
}

static mrb_value run_top(mrb_state *mrb, RProc *proc)
{
    // Top-level code runs with self as the top object and Object as its target class.
    MRB_PROC_SET_TARGET_CLASS(proc, mrb->object_class);
    if (mrb->c->ci) mrb_vm_ci_target_class_set(mrb->c->ci, mrb->object_class);
    mrb_value v = mrb_top_run(mrb, proc, mrb_top_self(mrb), 0);
    // Blocks made by top-level code share the base frame's registers, which the next
    // top-level run reuses and a growing stack moves (the interpreter keeps the base
    // frame's environment on the stack, then drops it uncopied at the next run): give
    // them their own copy now.
    mrb_callinfo *base = mrb->c->cibase;
    REnv *env = mrb->c->ci == base ? mrb_vm_ci_env(base) : nullptr;
    if (env && MRB_ENV_ONSTACK_P(env)) {
        mrb_vm_ci_env_set(base, nullptr);
        mrb_env_unshare(mrb, env);
    }
    return mrb->exc ? mrb_nil_value() : v;
}

mrb_value ruby_load(mrb_state *mrb, const char *src, size_t len, const char *filename)
{
    RProc *proc = ruby_compile(mrb, src, len, filename);
    if (!proc) return mrb_nil_value();
    return run_top(mrb, proc);
}

mrb_value ruby_load_irep(mrb_state *mrb, const uint8_t *image)
{
    mrb_irep *irep = mrb_read_irep(mrb, image);
    if (!irep) {
        mrb->exc = mrb_obj_ptr(mrb_exc_new_lit(mrb, E_SCRIPT_ERROR, "irep load error"));
        return mrb_nil_value();
    }
    RProc *proc = mrb_proc_new(mrb, irep);
    mrb_irep_decref(mrb, irep);
    return run_top(mrb, proc);
}
