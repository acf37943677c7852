#include "base/ruby.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/error.h>
#include <mruby/string.h>
#include <math.h>
#include <string.h>

int32_t ruby_to_i32(mrb_value value, int32_t fallback)
{
    if (mrb_integer_p(value)) return (int32_t)(uint32_t)(uint64_t)mrb_integer(value);
    if (mrb_float_p(value)) {
        double d = mrb_float(value);
        if (isnan(d)) return 0;
        if (d >= 2147483647.0) return INT32_MAX;
        if (d <= -2147483648.0) return INT32_MIN;
        return (int32_t)d;
    }
    return fallback;
}

int32_t ruby_to_i32_saturating(mrb_value value, int32_t fallback)
{
    if (mrb_integer_p(value)) {
        mrb_int i = mrb_integer(value);
        return i > INT32_MAX ? INT32_MAX : i < INT32_MIN ? INT32_MIN : (int32_t)i;
    }
    return ruby_to_i32(value, fallback);
}

double ruby_to_f64(mrb_value value, double fallback)
{
    if (mrb_integer_p(value)) return (double)mrb_integer(value);
    if (mrb_float_p(value)) return mrb_float(value);
    return fallback;
}

float ruby_to_f32(mrb_value value, float fallback)
{
    return (float)ruby_to_f64(value, fallback);
}

static mrb_value protected_inspect(mrb_state *mrb, void *data)
{
    return mrb_inspect(mrb, *(mrb_value *)data);
}

// The class of a value and, for an exception, the message it was made with ("KeyError:
// key not found"), read from the objects themselves: none of the game's code runs.
static char *held_text_alloc(mrb_state *mrb, mrb_value v)
{
    const char *name = mrb_obj_classname(mrb, v);
    if (!name) name = "?";
    char *out = nullptr;
    if (mrb_type(v) == MRB_TT_EXCEPTION && (mrb_exc_ptr(v)->flags & MRB_EXC_MESG_STRING_FLAG) &&
        mrb_exc_ptr(v)->mesg && RSTR_LEN(mrb_exc_ptr(v)->mesg) > 0) {
        RString *mesg = mrb_exc_ptr(v)->mesg;
        if (SDL_asprintf(&out, "%s: %.*s", name, (int)RSTR_LEN(mesg), RSTR_PTR(mesg)) < 0) out = nullptr;
    } else if (mrb_type(v) == MRB_TT_EXCEPTION) {
        out = SDL_strdup(name);
    } else if (SDL_asprintf(&out, "#<%s>", name) < 0) {
        out = nullptr;
    }
    return out;
}

char *ruby_inspect_alloc(mrb_state *mrb, mrb_value v)
{
    int ai = mrb_gc_arena_save(mrb);
    mrb_bool failed = FALSE;
    mrb_value s = mrb_protect_error(mrb, protected_inspect, &v, &failed);
    char *out;
    if (failed || !mrb_string_p(s)) {
        mrb->exc = nullptr;
        // What an inspect of the game's own that raises leaves to say: the class, what the
        // object holds, and what the inspect raised.
        char *held = held_text_alloc(mrb, v);
        char *raised = failed ? held_text_alloc(mrb, s) : nullptr;
        if (!raised || SDL_asprintf(&out, "%s (its inspect raised %s)", held ? held : "?", raised) < 0)
            out = held ? SDL_strdup(held) : nullptr;
        SDL_free(held);
        SDL_free(raised);
        if (!out) out = SDL_strdup("(uninspectable value)");
    } else {
        out = (char *)SDL_malloc((size_t)RSTRING_LEN(s) + 1);
        if (out) {
            memcpy(out, RSTRING_PTR(s), (size_t)RSTRING_LEN(s));
            out[RSTRING_LEN(s)] = 0;
        }
    }
    mrb_gc_arena_restore(mrb, ai);
    return out;
}

int ruby_log_exception(mrb_state *mrb)
{
    if (!mrb->exc) return 0;
    mrb_value exc = mrb_obj_value(mrb->exc);
    // Cleared first so that inspecting cannot see (or re-report) the same exception.
    mrb->exc = nullptr;
    int ai = mrb_gc_arena_save(mrb);
    char *text = ruby_inspect_alloc(mrb, exc);
    mrb_value bt = mrb_exc_backtrace(mrb, exc);
    mrb->exc = nullptr;
    if (mrb_array_p(bt) && RARRAY_LEN(bt) > 0 && mrb_string_p(RARRAY_PTR(bt)[0])) {
        mrb_value line = RARRAY_PTR(bt)[0];
        SDL_Log("%s\n    from %.*s", text ? text : "", (int)RSTRING_LEN(line), RSTRING_PTR(line));
    } else {
        SDL_Log("%s", text ? text : "");
    }
    SDL_free(text);
    mrb_gc_arena_restore(mrb, ai);
    return 1;
}

// The host calls the same few dozen methods every step, each by a literal name, and
// interning a name walks a long chain of the interpreter's symbol table. So each name's
// symbol is kept, keyed by the name's address and checked against the name before use:
// the key can outlive its interpreter, and a non-literal name can reuse an address.
static mrb_sym method_symbol(mrb_state *mrb, const char *name)
{
    struct entry {
        const char *name;
        mrb_sym sym;
    };
    static thread_local entry cache[256];
    size_t length = strlen(name);
    size_t home = (size_t)(((uint64_t)(uintptr_t)name * 0x9E3779B97F4A7C15u) >> 56);
    entry *slot = &cache[home];
    for (size_t probe = 0; probe < 8; probe++) {
        entry &e = cache[(home + probe) % 256];
        if (e.name == name) {
            mrb_int known_length = 0;
            const char *known = mrb_sym_name_len(mrb, e.sym, &known_length);
            if (known && (size_t)known_length == length && memcmp(known, name, length) == 0) return e.sym;
            slot = &e;
            break;
        }
        if (!e.name) {
            slot = &e;
            break;
        }
    }
    slot->name = name;
    slot->sym = mrb_intern(mrb, name, length);
    return slot->sym;
}

mrb_value ruby_call(mrb_state *mrb, mrb_value recv, const char *name, mrb_int argc, const mrb_value *argv)
{
    mrb_value result = mrb_funcall_argv(mrb, recv, method_symbol(mrb, name), argc, argv);
    // What a raising call answered counts as nil.
    if (ruby_log_exception(mrb)) return mrb_nil_value();
    return result;
}

mrb_value ruby_call0(mrb_state *mrb, mrb_value recv, const char *name) { return ruby_call(mrb, recv, name, 0, nullptr); }

mrb_value ruby_call1(mrb_state *mrb, mrb_value recv, const char *name, mrb_value a)
{
    return ruby_call(mrb, recv, name, 1, &a);
}

mrb_value ruby_call2(mrb_state *mrb, mrb_value recv, const char *name, mrb_value a, mrb_value b)
{
    mrb_value args[2] = {a, b};
    return ruby_call(mrb, recv, name, 2, args);
}

mrb_value ruby_float_pair(mrb_state *mrb, double a, double b)
{
    mrb_value pair = mrb_ary_new_capa(mrb, 2);
    mrb_ary_push(mrb, pair, mrb_float_value(mrb, a));
    mrb_ary_push(mrb, pair, mrb_float_value(mrb, b));
    return pair;
}

int threadstream_pack_ruby_int(threadstream *stream, mrb_value value)
{
    return threadstream_pack_int(stream, ruby_to_i32(value, 0));
}

int threadstream_pack_ruby_int_or_default(threadstream *stream, mrb_value value, int32_t fallback)
{
    return threadstream_pack_int(stream, ruby_to_i32(value, fallback));
}

int threadstream_pack_ruby_float(threadstream *stream, mrb_value value)
{
    return threadstream_pack_float(stream, ruby_to_f32(value, 0.0f));
}

int threadstream_pack_ruby_float_or_default(threadstream *stream, mrb_value value, float fallback)
{
    return threadstream_pack_float(stream, ruby_to_f32(value, fallback));
}

int threadstream_pack_ruby_string(threadstream *stream, mrb_value value)
{
    // Anything but a String (nil included) draws as "no name": the null marker.
    if (!mrb_string_p(value)) return threadstream_pack_buffer(stream, nullptr, 0);
    return threadstream_pack_buffer(stream, RSTRING_PTR(value), (size_t)RSTRING_LEN(value));
}
