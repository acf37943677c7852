// FFI::Misc: JSON text and files parsed into Ruby values over cJSON. Whatever does not parse
// is nil; the cJSON tree and a file's bytes are released whether converting succeeds or raises.
#include "base/files.h"
#include "ffi/ffi.h"

#include <SDL.h>
#include <cjson/cJSON.h>
#include <math.h>
#include <mruby/array.h>
#include <mruby/error.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <stdio.h>

// A whole number that a 64-bit Integer holds exactly becomes one (1.0, 1e3 and -0 too);
// anything else, Infinity and NaN included, stays a Float. The range test comes before the
// cast: converting 1e400 or 2^63 to int64 is undefined.
static mrb_value json_number(mrb_state *mrb, double d)
{
    if (isfinite(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0 && trunc(d) == d)
        return mrb_int_value(mrb, (mrb_int)(int64_t)d);
    return mrb_float_value(mrb, d);
}

// The value of one item; arrays and objects are filled child by child. cJSON refuses documents
// nested deeper than 1,000, which bounds this recursion.
static mrb_value json_to_ruby(mrb_state *mrb, const cJSON *item)
{
    switch (item->type & 0xFF) {
    case cJSON_False: return mrb_false_value();
    case cJSON_True: return mrb_true_value();
    case cJSON_NULL: return mrb_nil_value();
    case cJSON_Number: return json_number(mrb, item->valuedouble);
    case cJSON_String:
    case cJSON_Raw: return item->valuestring ? mrb_str_new_cstr(mrb, item->valuestring) : mrb_str_new_lit(mrb, "");
    case cJSON_Array: {
        mrb_value array = mrb_ary_new(mrb);
        int arena = mrb_gc_arena_save(mrb);
        for (const cJSON *child = item->child; child; child = child->next) {
            mrb_ary_push(mrb, array, json_to_ruby(mrb, child));
            mrb_gc_arena_restore(mrb, arena);
        }
        return array;
    }
    case cJSON_Object: {
        mrb_value hash = mrb_hash_new(mrb);
        int arena = mrb_gc_arena_save(mrb);
        // A repeated name keeps the place of its first member and the value of its last.
        for (const cJSON *child = item->child; child; child = child->next) {
            mrb_value key = mrb_str_new_cstr(mrb, child->string ? child->string : "");
            mrb_hash_set(mrb, hash, key, json_to_ruby(mrb, child));
            mrb_gc_arena_restore(mrb, arena);
        }
        return hash;
    }
    case cJSON_Invalid: printf("JSON: INVALID TYPE!\n"); return mrb_nil_value();
    default: printf("JSON: UNKNOWN TYPE!\n"); return mrb_nil_value();
    }
}

static mrb_value convert_root(mrb_state *mrb, void *root) { return json_to_ruby(mrb, (const cJSON *)root); }

// The value of the first JSON value in text (what follows it is ignored), or nil. Frees
// `owned` (a file's bytes) on every path.
static mrb_value value_of(mrb_state *mrb, const char *text, char *owned)
{
    cJSON *root = text ? cJSON_ParseWithOpts(text, nullptr, 0) : nullptr;
    SDL_free(owned);
    if (!root) return mrb_nil_value();
    mrb_bool failed = FALSE;
    mrb_value value = mrb_protect_error(mrb, convert_root, root, &failed);
    cJSON_Delete(root);
    if (failed) mrb_exc_raise(mrb, value); // out of memory: raised once nothing native is held
    return value;
}

static mrb_value ffi_misc_parse_json_file(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    char *text = loadfile(path, nullptr);
    return value_of(mrb, text, text);
}

static mrb_value ffi_misc_parse_json(mrb_state *mrb, mrb_value self)
{
    const char *text;
    mrb_get_args(mrb, "z", &text);
    return value_of(mrb, text, nullptr);
}

void ffi_json_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "parse_json_file", ffi_misc_parse_json_file, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, misc, "parse_json", ffi_misc_parse_json, MRB_ARGS_REQ(1));
}
