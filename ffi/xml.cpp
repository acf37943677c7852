// FFI::Misc: XML text and files parsed into a tree of Hashes. The reader's callbacks only
// record what they are told in a native list (no Ruby runs while a parse is live, so nothing
// can raise through the reader and leave its memory behind); the tree is built from that
// list once the reader is done.
#include "base/files.h"
#include "ffi/ffi.h"
#include "services/xml_reader.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/error.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <string.h>

enum xml_event_kind : uint8_t { EVENT_ELEMENT_START, EVENT_CONTENT, EVENT_ATTRIBUTE, EVENT_ELEMENT_END, EVENT_PI };

// Events as records: kind, key length, text length (size_t each), the key's bytes, the text's.
struct xml_events {
    char *bytes;
    size_t length, capacity;
    bool strip;
};

static bool events_reserve(xml_events *ev, size_t more)
{
    if (more > SIZE_MAX - ev->length) return false;
    size_t need = ev->length + more;
    if (need <= ev->capacity) return true;
    size_t capacity = ev->capacity ? ev->capacity : 4096;
    while (capacity < need) {
        if (capacity > SIZE_MAX / 2) return false;
        capacity *= 2;
    }
    char *grown = (char *)SDL_realloc(ev->bytes, capacity);
    if (!grown) return false;
    ev->bytes = grown;
    ev->capacity = capacity;
    return true;
}

static int record(xml_events *ev, xml_event_kind kind, const char *key, size_t key_length, const char *text,
                  size_t text_length)
{
    const size_t header = 1 + 2 * sizeof(size_t);
    if (key_length > SIZE_MAX - header || text_length > SIZE_MAX - header - key_length) return 0;
    if (!events_reserve(ev, header + key_length + text_length)) return 0; // cancels the parse
    char *at = ev->bytes + ev->length;
    at[0] = (char)kind;
    memcpy(at + 1, &key_length, sizeof(size_t));
    memcpy(at + 1 + sizeof(size_t), &text_length, sizeof(size_t));
    if (key_length) memcpy(at + header, key, key_length);
    if (text_length) memcpy(at + header + key_length, text, text_length);
    ev->length += header + key_length + text_length;
    return 1;
}

static bool is_strip_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

static xml_events *events_of(xml_callbacks *cb) { return (xml_events *)cb->user_data; }

static int on_element_start(xml_callbacks *cb)
{
    return record(events_of(cb), EVENT_ELEMENT_START, nullptr, 0, cb->text, cb->text_length);
}

// A run that is empty (after stripping, when asked) makes no node.
static int on_content(xml_callbacks *cb)
{
    const char *text = cb->text;
    size_t n = cb->text_length;
    if (events_of(cb)->strip) {
        while (n > 0 && is_strip_space(*text)) text++, n--;
        while (n > 0 && is_strip_space(text[n - 1])) n--;
    }
    if (n == 0) return 1;
    return record(events_of(cb), EVENT_CONTENT, nullptr, 0, text, n);
}

static int on_attribute(xml_callbacks *cb)
{
    return record(events_of(cb), EVENT_ATTRIBUTE, cb->key, cb->key_length, cb->text, cb->text_length);
}

static int on_element_end(xml_callbacks *cb) { return record(events_of(cb), EVENT_ELEMENT_END, nullptr, 0, nullptr, 0); }

static int on_pi(xml_callbacks *cb)
{
    return record(events_of(cb), EVENT_PI, cb->key, cb->key_length, cb->text, cb->text_length);
}

// ---- the tree ------------------------------------------------------------------------------

struct xml_tree_args {
    const xml_events *events;
};

static mrb_value node(mrb_state *mrb, mrb_sym type, int slots)
{
    mrb_value h = mrb_hash_new_capa(mrb, slots);
    mrb_hash_set(mrb, h, mrb_symbol_value(mrb_intern_lit(mrb, "type")), mrb_symbol_value(type));
    return h;
}

static mrb_value build_tree(mrb_state *mrb, void *p)
{
    const xml_events *ev = ((xml_tree_args *)p)->events;
    mrb_value k_name = mrb_symbol_value(mrb_intern_lit(mrb, "name"));
    mrb_value k_children = mrb_symbol_value(mrb_intern_lit(mrb, "children"));
    mrb_value k_attributes = mrb_symbol_value(mrb_intern_lit(mrb, "attributes"));
    mrb_value k_data = mrb_symbol_value(mrb_intern_lit(mrb, "data"));
    mrb_sym element = mrb_intern_lit(mrb, "element");

    mrb_value result = node(mrb, element, 3);
    mrb_hash_set(mrb, result, k_name, mrb_nil_value());
    mrb_hash_set(mrb, result, k_children, mrb_ary_new(mrb));
    mrb_value stack = mrb_ary_new(mrb); // the elements enclosing `current`
    mrb_value current = result;
    int arena = mrb_gc_arena_save(mrb); // result and stack stay protected below this mark

    const size_t header = 1 + 2 * sizeof(size_t);
    for (size_t at = 0; at < ev->length;) {
        const char *rec = ev->bytes + at;
        size_t key_length, text_length;
        memcpy(&key_length, rec + 1, sizeof(size_t));
        memcpy(&text_length, rec + 1 + sizeof(size_t), sizeof(size_t));
        const char *key = rec + header, *text = key + key_length;
        at += header + key_length + text_length;
        // Every node made here hangs from the tree (reachable from result) before the arena
        // is reset, and `current` always lies in the tree.
        switch ((xml_event_kind)rec[0]) {
        case EVENT_ELEMENT_START: {
            mrb_value e = node(mrb, element, 4);
            mrb_hash_set(mrb, e, k_name, mrb_str_new(mrb, text, (mrb_int)text_length));
            mrb_hash_set(mrb, e, k_children, mrb_ary_new(mrb));
            mrb_ary_push(mrb, mrb_hash_get(mrb, current, k_children), e);
            mrb_ary_push(mrb, stack, current);
            current = e;
            break;
        }
        case EVENT_CONTENT: {
            mrb_value c = node(mrb, mrb_intern_lit(mrb, "content"), 2);
            mrb_hash_set(mrb, c, k_data, mrb_str_new(mrb, text, (mrb_int)text_length));
            mrb_ary_push(mrb, mrb_hash_get(mrb, current, k_children), c);
            break;
        }
        case EVENT_ATTRIBUTE: {
            mrb_value attributes = mrb_hash_get(mrb, current, k_attributes);
            if (!mrb_hash_p(attributes)) {
                attributes = mrb_hash_new(mrb);
                mrb_hash_set(mrb, current, k_attributes, attributes);
            }
            mrb_hash_set(mrb, attributes, mrb_str_new(mrb, key, (mrb_int)key_length),
                         mrb_str_new(mrb, text, (mrb_int)text_length));
            break;
        }
        case EVENT_ELEMENT_END: current = RARRAY_LEN(stack) > 0 ? mrb_ary_pop(mrb, stack) : mrb_nil_value(); break;
        case EVENT_PI: {
            mrb_value pi = node(mrb, mrb_intern_lit(mrb, "pi"), 3);
            mrb_hash_set(mrb, pi, k_name, mrb_str_new(mrb, key, (mrb_int)key_length));
            mrb_hash_set(mrb, pi, k_data, mrb_str_new(mrb, text, (mrb_int)text_length));
            mrb_ary_push(mrb, mrb_hash_get(mrb, current, k_children), pi);
            break;
        }
        }
        mrb_gc_arena_restore(mrb, arena);
    }
    return result;
}

// The tree of a whole document, or nil. Frees `owned` (a file's bytes) on every path.
static mrb_value tree_of(mrb_state *mrb, const char *data, size_t length, bool strip, char *owned)
{
    xml_events events = {nullptr, 0, 0, strip};
    xml_callbacks cb = {};
    cb.user_data = &events;
    cb.on_element_start = on_element_start;
    cb.on_content = on_content;
    cb.on_attribute = on_attribute;
    cb.on_element_end = on_element_end;
    cb.on_pi = on_pi;
    int ok = data && parse_xml(data, length, &cb);
    SDL_free(owned);
    if (!ok) {
        SDL_free(events.bytes);
        return mrb_nil_value();
    }
    xml_tree_args args = {&events};
    mrb_bool failed = FALSE;
    mrb_value tree = mrb_protect_error(mrb, build_tree, &args, &failed);
    SDL_free(events.bytes);
    if (failed) mrb_exc_raise(mrb, tree); // out of memory: raised once nothing native is held
    return tree;
}

static mrb_value ffi_misc_parse_xml_file(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_bool strip;
    mrb_get_args(mrb, "zb", &path, &strip);
    size_t length = 0;
    char *data = loadfile(path, &length);
    return tree_of(mrb, data, length, strip, data);
}

static mrb_value ffi_misc_parse_xml(mrb_state *mrb, mrb_value self)
{
    const char *text;
    mrb_int length;
    mrb_bool strip;
    mrb_get_args(mrb, "sb", &text, &length, &strip);
    return tree_of(mrb, text, (size_t)length, strip, nullptr);
}

void ffi_xml_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "parse_xml_file", ffi_misc_parse_xml_file, MRB_ARGS_REQ(2));
    mrb_define_method(mrb, misc, "parse_xml", ffi_misc_parse_xml, MRB_ARGS_REQ(2));
}
