#include "host/replay_events.h"

#include <ctype.h>
#include <mruby/array.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

// A value of an event line: a number of its kind, or a String's bytes.
struct replay_value {
    enum { INTEGER, FLOAT, TEXT } kind;
    int64_t integer;
    double real;
    const char *text;
    size_t length;
};

struct line_reader {
    const char *at, *end;

    bool take(char c)
    {
        if (at == end || *at != c) return false;
        at++;
        return true;
    }
    void skip_blanks()
    {
        while (at < end && *at == ' ') at++;
    }
    size_t digits()
    {
        const char *start = at;
        while (at < end && *at >= '0' && *at <= '9') at++;
        return (size_t)(at - start);
    }

    // -?digits, then a point and digits, then an exponent, as the interpreter writes numbers.
    bool number(replay_value &out)
    {
        const char *start = at;
        take('-');
        size_t whole = digits();
        if (whole == 0) return false;
        bool real = false;
        if (at + 1 < end && *at == '.' && at[1] >= '0' && at[1] <= '9') {
            at++;
            digits();
            real = true;
        }
        if (at < end && (*at == 'e' || *at == 'E')) {
            at++;
            if (!take('-')) take('+');
            if (digits() == 0) return false;
            real = true;
        }
        char text[64];
        size_t length = (size_t)(at - start);
        // Longer numbers, and Integers past 18 digits, are the framework's to read or refuse.
        if (length >= sizeof text || (!real && whole > 18)) return false;
        memcpy(text, start, length);
        text[length] = 0;
        out.kind = real ? replay_value::FLOAT : replay_value::INTEGER;
        if (real) out.real = strtod(text, nullptr);
        else out.integer = strtoll(text, nullptr, 10);
        return true;
    }

    // A String without escapes (and so without quotes) inside.
    bool plain_string(replay_value &out)
    {
        if (!take('"')) return false;
        const char *start = at;
        while (at < end && *at != '"') {
            if (*at == '\\') return false;
            at++;
        }
        if (!take('"')) return false;
        out.kind = replay_value::TEXT;
        out.text = start;
        out.length = (size_t)(at - start - 1);
        return true;
    }

    // The separator after a value: blanks, then the comma (or the closing bracket, ending the line).
    bool separator(bool last)
    {
        skip_blanks();
        if (last) return take(']') && at == end;
        if (!take(',')) return false;
        skip_blanks();
        return true;
    }
};

bool in_range(mrb_value range, const replay_value &v)
{
    if (!mrb_array_p(range) || RARRAY_LEN(range) != 2) return false;
    mrb_value low = RARRAY_PTR(range)[0], high = RARRAY_PTR(range)[1];
    if (!mrb_integer_p(low) || !mrb_integer_p(high)) return false;
    if (v.kind == replay_value::INTEGER) return v.integer >= mrb_integer(low) && v.integer <= mrb_integer(high);
    if (v.kind == replay_value::FLOAT) return v.real >= (double)mrb_integer(low) && v.real <= (double)mrb_integer(high);
    return false;
}

// Whether value_1 is what `first` allows: a String (nil), a key of a Hash, or within a range.
bool first_allowed(mrb_state *mrb, mrb_value first, const replay_value &v)
{
    if (mrb_nil_p(first)) return v.kind == replay_value::TEXT;
    if (mrb_hash_p(first)) return v.kind == replay_value::INTEGER && mrb_hash_key_p(mrb, first, mrb_int_value(mrb, v.integer));
    return in_range(first, v);
}

mrb_value ruby_value(mrb_state *mrb, const replay_value &v)
{
    switch (v.kind) {
    case replay_value::INTEGER: return mrb_int_value(mrb, (mrb_int)v.integer);
    case replay_value::FLOAT: return mrb_float_value(mrb, v.real);
    default: return mrb_str_new(mrb, v.text, (mrb_int)v.length);
    }
}

struct event_keys {
    mrb_value id, name, value_1, value_2, value_count;
};

// Reads one stripped line into history when it is a plain event its callback takes; false
// otherwise.
bool read_plain_event(mrb_state *mrb, const char *line, const char *end, mrb_value history, mrb_value checks,
                      const event_keys &keys)
{
    line_reader r = {line, end};
    if (!r.take('[') || !r.take(':')) return false;
    const char *name = r.at;
    while (r.at < r.end && (isalnum((unsigned char)*r.at) || *r.at == '_')) r.at++;
    // A name no Symbol has yet is no callback: it is not made one here.
    mrb_sym sym = r.at > name ? mrb_intern_check(mrb, name, (size_t)(r.at - name)) : 0;
    if (!sym || !r.separator(false)) return false;
    mrb_value check = mrb_hash_get(mrb, checks, mrb_symbol_value(sym));
    if (!mrb_array_p(check) || RARRAY_LEN(check) != 3 || !mrb_integer_p(RARRAY_PTR(check)[0])) return false;
    mrb_value first = RARRAY_PTR(check)[1];

    replay_value value_1, value_2, count, id, tick;
    if (!(mrb_nil_p(first) ? r.plain_string(value_1) : r.number(value_1)) || !r.separator(false)) return false;
    if (!r.number(value_2) || !r.separator(false) || !r.number(count) || !r.separator(false)) return false;
    if (!r.number(id) || !r.separator(false) || !r.number(tick) || !r.separator(true)) return false;
    if (count.kind != replay_value::INTEGER || id.kind != replay_value::INTEGER || tick.kind != replay_value::INTEGER ||
        tick.integer < 0 || count.integer != mrb_integer(RARRAY_PTR(check)[0]))
        return false;
    if (!first_allowed(mrb, first, value_1) || !in_range(RARRAY_PTR(check)[2], value_2)) return false;

    mrb_value event = mrb_hash_new_capa(mrb, 5);
    mrb_hash_set(mrb, event, keys.id, mrb_int_value(mrb, (mrb_int)id.integer));
    mrb_hash_set(mrb, event, keys.name, mrb_symbol_value(sym));
    mrb_hash_set(mrb, event, keys.value_1, ruby_value(mrb, value_1));
    mrb_hash_set(mrb, event, keys.value_2, ruby_value(mrb, value_2));
    mrb_hash_set(mrb, event, keys.value_count, mrb_int_value(mrb, (mrb_int)count.integer));
    mrb_value at_tick = mrb_int_value(mrb, (mrb_int)tick.integer);
    mrb_value list = mrb_hash_get(mrb, history, at_tick);
    if (!mrb_array_p(list)) {
        list = mrb_ary_new(mrb);
        mrb_hash_set(mrb, history, at_tick, list);
    }
    mrb_ary_push(mrb, list, event);
    return true;
}

// The blanks String#strip takes from each end: the interpreter's own list, where only the end
// also loses NULs.
bool stripped_at_start(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool stripped_at_end(char c) { return c == 0 || stripped_at_start(c); }

mrb_value replay_read_plain_events(mrb_state *mrb, mrb_value self)
{
    mrb_value text, history, checks;
    mrb_get_args(mrb, "SHH", &text, &history, &checks);
    event_keys keys = {mrb_symbol_value(mrb_intern_lit(mrb, "id")), mrb_symbol_value(mrb_intern_lit(mrb, "name")),
                       mrb_symbol_value(mrb_intern_lit(mrb, "value_1")), mrb_symbol_value(mrb_intern_lit(mrb, "value_2")),
                       mrb_symbol_value(mrb_intern_lit(mrb, "value_count"))};
    mrb_value left = mrb_ary_new(mrb);
    int ai = mrb_gc_arena_save(mrb);
    // The text is the caller's and stays put: the collector never moves a String's bytes.
    const char *at = RSTRING_PTR(text), *end = at + RSTRING_LEN(text);
    for (mrb_int index = 0; at < end; index++) {
        const char *line_end = (const char *)memchr(at, '\n', (size_t)(end - at));
        if (!line_end) line_end = end;
        const char *first = at, *last = line_end;
        while (first < last && stripped_at_start(*first)) first++;
        while (last > first && stripped_at_end(last[-1])) last--;
        // A blank line costs nothing; one the host cannot read goes to the framework whole.
        if (first < last && !read_plain_event(mrb, first, last, history, checks, keys)) {
            mrb_value pair[2] = {mrb_int_value(mrb, index), mrb_str_new(mrb, at, (mrb_int)(line_end - at))};
            mrb_ary_push(mrb, left, mrb_ary_new_from_values(mrb, 2, pair));
        }
        mrb_gc_arena_restore(mrb, ai);
        at = line_end + 1;
    }
    return left;
}

} // namespace

void replay_events_define(mrb_state *mrb)
{
    RClass *zoq = mrb_define_module(mrb, "ZOQ");
    RClass *replay_file = mrb_define_module_under(mrb, zoq, "ReplayFile");
    mrb_define_module_function(mrb, replay_file, "read_plain_events", replay_read_plain_events, MRB_ARGS_REQ(3));
}
