#include "host/compile.h"

#include <mruby/class.h>
#include <mruby/array.h>
#include <mruby/compile.h>
#include <mruby/dump.h>
#include <mruby/error.h>
#include <mruby/irep.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <mruby/variable.h>
#include <stdio.h>
#include <string.h>

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
        proc = ruby_compile_generate(mrb, p);
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
    // zoqc rewrites the framework before dumping it, so this pass finds nothing there; it
    // only rewrites images made by other compilers (whose folded constants stay folded).
    mrb_irep *irep = mrb_read_irep(mrb, image);
    if (!irep) {
        mrb->exc = mrb_obj_ptr(mrb_exc_new_lit(mrb, E_SCRIPT_ERROR, "irep load error"));
        return mrb_nil_value();
    }
    if (ruby_compile_rewrite(mrb, irep) != 0) {
        mrb_irep_decref(mrb, irep);
        mrb->exc = mrb_obj_ptr(mrb_exc_new_lit(mrb, E_SCRIPT_ERROR, "irep rewrite error"));
        return mrb_nil_value();
    }
    RProc *proc = mrb_proc_new(mrb, irep);
    mrb_irep_decref(mrb, irep);
    return run_top(mrb, proc);
}

// Division between numbers is real division: 5 / 2 is 2.5, and a division by zero gives
// IEEE's Infinity, -Infinity or NaN (doubles divide that way here; nothing traps).

// The VM's own hand-over to a method written in Ruby, from a C method it called: the
// frame becomes the method's (exported by the library, declared only in its internals).
extern "C" mrb_value mrb_exec_irep(mrb_state *mrb, mrb_value self, RProc *p);

// The one argument of a plain call is read in place; anything else (a splat, keywords,
// a wrong count) goes through mrb_get_arg1, which checks as the format "o" would.
static inline mrb_value single_argument(mrb_state *mrb)
{
    const mrb_callinfo *ci = mrb->c->ci;
    return ci->n == 1 && ci->nk == 0 ? ci->stack[1] : mrb_get_arg1(mrb);
}

// Numbers with numbers answer here; the out parameter holds the quotient.
static inline int divide_numbers(mrb_value self, mrb_value other, mrb_float *out)
{
    mrb_float x, y;
    if (mrb_integer_p(self)) x = (mrb_float)mrb_integer(self);
    else if (mrb_float_p(self)) x = mrb_float(self);
    else return 0;
    if (mrb_integer_p(other)) y = (mrb_float)mrb_integer(other);
    else if (mrb_float_p(other)) y = mrb_float(other);
    else return 0;
    *out = x / y;
    return 1;
}

// Any other pair goes to the receiver's own `/`, called in this same frame as the VM's
// send would call it, so a method written in Ruby runs as if the operator had called it
// directly (backtrace, `super`, fibers). Without a `/`, method_missing receives the name
// and the argument packed as the VM packs them; without that either, NoMethodError.
static mrb_value own_division(mrb_state *mrb, mrb_value self, mrb_value other)
{
    mrb_sym div = mrb_intern_lit(mrb, "/");
    mrb_callinfo *ci = mrb->c->ci;
    if (ci->n != 1 || ci->nk != 0) return mrb_funcall_argv(mrb, self, div, 1, &other);
    ci->mid = div;
    RClass *owner = mrb_class(mrb, self);
    mrb_method_t m = mrb_method_search_vm(mrb, &owner, div);
    if (MRB_METHOD_UNDEF_P(m)) {
        mrb_sym missing = mrb_intern_lit(mrb, "method_missing");
        owner = mrb_class(mrb, self);
        m = mrb_method_search_vm(mrb, &owner, missing);
        // As in the VM, method_missing dividing its own receiver does not ask itself again.
        const mrb_callinfo *caller = ci > mrb->c->cibase ? ci - 1 : nullptr;
        int again = caller && caller->mid == missing && mrb_obj_eq(mrb, caller->stack[0], self);
        if (MRB_METHOD_UNDEF_P(m) || again) {
            // The VM's division raises this from the caller's frame: a frame without a
            // name is left out of backtraces.
            mrb_value args = mrb_ary_new_from_values(mrb, 1, &other);
            mrb->c->ci->mid = 0;
            mrb_no_method_error(mrb, div, args, "undefined method '%n'", div);
        }
        const mrb_value packed[2] = {mrb_symbol_value(div), other};
        mrb_value args = mrb_ary_new_from_values(mrb, 2, packed);
        ci = mrb->c->ci;
        ci->stack[1] = args;
        ci->stack[2] = mrb_nil_value(); // the block slot after a packed argument list
        ci->n = 15;
        ci->mid = missing;
    }
    ci->u.target_class = owner;
    if (MRB_METHOD_CFUNC_P(m)) {
        if (MRB_METHOD_PROC_P(m)) mrb_vm_ci_proc_set(ci, MRB_METHOD_PROC(m));
        return MRB_METHOD_CFUNC(m)(mrb, self);
    }
    return mrb_exec_irep(mrb, self, MRB_METHOD_PROC(m));
}

// BasicObject#__div__: what every rewritten `/` sends. Like the VM's own division it
// answers numbers itself, so a Ruby redefinition of Integer#/ (the framework's nil
// tolerance) is asked only about other operands, as it is for `+`, `-` and `*`.
static mrb_value basic_object_div(mrb_state *mrb, mrb_value self)
{
    mrb_value other = single_argument(mrb);
    mrb_float q;
    if (divide_numbers(self, other, &q)) return mrb_float_value(mrb, q);
    return own_division(mrb, self, other);
}

// Integer#/ and Float#/ for `send(:/)`, `method(:/)` and other dynamic calls. Other
// operands (Rational, Complex, something to coerce or refuse) go to the core method,
// which reads the same argument from the same frame.
static mrb_func_t core_integer_div;
static mrb_func_t core_float_div;

template <mrb_func_t *core>
static mrb_value number_div(mrb_state *mrb, mrb_value self)
{
    mrb_value other = single_argument(mrb);
    mrb_float q;
    if (divide_numbers(self, other, &q)) return mrb_float_value(mrb, q);
    if (!*core) mrb_raisef(mrb, E_TYPE_ERROR, "%T can't be coerced into Float", other);
    return (*core)(mrb, self);
}

static const mrb_func_t integer_div = number_div<&core_integer_div>;
static const mrb_func_t float_div = number_div<&core_float_div>;

static mrb_func_t core_method(mrb_state *mrb, RClass *klass, mrb_func_t ours, mrb_func_t known)
{
    RClass *owner = klass;
    mrb_method_t m = mrb_method_search_vm(mrb, &owner, mrb_intern_lit(mrb, "/"));
    if (MRB_METHOD_UNDEF_P(m) || !MRB_METHOD_CFUNC_P(m)) return known;
    mrb_func_t f = MRB_METHOD_CFUNC(m);
    return f == ours ? known : f;
}

void ruby_compile_init(mrb_state *mrb)
{
    core_integer_div = core_method(mrb, mrb->integer_class, integer_div, core_integer_div);
    core_float_div = core_method(mrb, mrb->float_class, float_div, core_float_div);
    // Every receiver, BasicObject subclasses included, answers what the rewrite sends.
    mrb_define_method(mrb, mrb_class_get(mrb, "BasicObject"), RUBY_COMPILE_DIV_METHOD, basic_object_div,
                      MRB_ARGS_ANY());
    mrb_define_method(mrb, mrb->integer_class, "/", integer_div, MRB_ARGS_ANY());
    mrb_define_method(mrb, mrb->float_class, "/", float_div, MRB_ARGS_ANY());
}
