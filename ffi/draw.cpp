// FFI::Draw: the methods through which the framework writes draw commands into the
// current frame stream. Each reads its arguments (a wrong type raises before anything is
// written), applies the field defaults here, natively, and appends one record.
#include "base/ruby.h"
#include "ffi/ffi.h"
#include "render/frame_format.h"

#include <mruby/array.h>
#include <mruby/class.h>
#include <mruby/hash.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <string.h>

static frame_string string_field(mrb_value v)
{
    if (!mrb_string_p(v)) return frame_string{nullptr, 0};
    return frame_string{RSTRING_PTR(v), (size_t)RSTRING_LEN(v)};
}

// The hot writers take their arguments in place: exactly n of them (the argument reader's
// ArgumentError otherwise), with the String ones checked as its "S" does. Walking a format
// string of up to 22 letters cost more than the rest of a sprite's record.
static const mrb_value *draw_args(mrb_state *mrb, mrb_int n)
{
    mrb_int argc = mrb_get_argc(mrb);
    if (argc != n) mrb_argnum_error(mrb, argc, (int)n, (int)n);
    return mrb_get_argv(mrb);
}

static frame_string required_string(mrb_state *mrb, mrb_value v) { return string_field(mrb_ensure_string_type(mrb, v)); }

static float f32(mrb_value v, float fallback = 0.0f) { return ruby_to_f32(v, fallback); }
static int32_t i32(mrb_value v, int32_t fallback = 0) { return ruby_to_i32(v, fallback); }

static mrb_value write_rect(mrb_state *mrb, uint32_t code)
{
    const mrb_value *v = draw_args(mrb, 8); // "oooooooo": x, y, w, h, r, g, b, a
    frame_write_rect(ffi_frame_stream(), code,
                     frame_rect{f32(v[0]), f32(v[1]), f32(v[2]), f32(v[3]), i32(v[4]), i32(v[5]), i32(v[6]), i32(v[7], 255)});
    return mrb_nil_value();
}

static mrb_value ffi_draw_draw_solid(mrb_state *mrb, mrb_value self) { return write_rect(mrb, DRAW_SOLID); }
static mrb_value ffi_draw_draw_border(mrb_state *mrb, mrb_value self) { return write_rect(mrb, DRAW_BORDER); }
static mrb_value ffi_draw_draw_line(mrb_state *mrb, mrb_value self) { return write_rect(mrb, DRAW_LINE); }

static mrb_value ffi_draw_draw_label(mrb_state *mrb, mrb_value self)
{
    // "ooSooooooo": x, y, text, size_enum, alignment_enum, r, g, b, a, font
    const mrb_value *v = draw_args(mrb, 10);
    frame_string text = required_string(mrb, v[2]);
    // A font that is not a String draws in the default font rather than being read as text.
    frame_write_label(ffi_frame_stream(), frame_label{f32(v[0]), f32(v[1]), text, string_field(v[9]), f32(v[3]),
                                                        i32(v[4]), i32(v[5]), i32(v[6]), i32(v[7]), i32(v[8], 255)});
    return mrb_nil_value();
}

// The sprite record with the constants that draw_sprite and draw_sprite_2 leave to defaults.
static frame_sprite plain_sprite(const mrb_value *v, frame_string path)
{
    frame_sprite p = {};
    p.path = path;
    p.x = f32(v[SPRITE_ARG_X]), p.y = f32(v[SPRITE_ARG_Y]), p.w = f32(v[SPRITE_ARG_W]), p.h = f32(v[SPRITE_ARG_H]);
    p.r = p.g = p.b = p.a = 255;
    p.tile_w = p.tile_h = p.source_w = p.source_h = -1.0f;
    p.angle_anchor_x = p.angle_anchor_y = 0.5f;
    return p;
}

static mrb_value ffi_draw_draw_sprite(mrb_state *mrb, mrb_value self)
{
    const mrb_value *v = draw_args(mrb, SPRITE_ARG_PATH + 1); // "ooooS"
    frame_write_sprite(ffi_frame_stream(), plain_sprite(v, required_string(mrb, v[SPRITE_ARG_PATH])));
    return mrb_nil_value();
}

static mrb_value ffi_draw_draw_sprite_2(mrb_state *mrb, mrb_value self)
{
    const mrb_value *v = draw_args(mrb, SPRITE_ARG_A + 1); // "ooooSoo"
    frame_sprite p = plain_sprite(v, required_string(mrb, v[SPRITE_ARG_PATH]));
    p.angle = f32(v[SPRITE_ARG_ANGLE]);
    p.a = i32(v[SPRITE_ARG_A], 255);
    frame_write_sprite(ffi_frame_stream(), p);
    return mrb_nil_value();
}

// The full sprite record from draw_sprite_3's arguments, path apart. With every optional
// field nil or false it equals the record of draw_sprite_2.
static frame_sprite full_sprite(const mrb_value *v, frame_string path)
{
    frame_sprite p;
    p.path = path;
    p.x = f32(v[SPRITE_ARG_X]), p.y = f32(v[SPRITE_ARG_Y]), p.w = f32(v[SPRITE_ARG_W]), p.h = f32(v[SPRITE_ARG_H]);
    p.angle = f32(v[SPRITE_ARG_ANGLE]);
    p.r = i32(v[SPRITE_ARG_R], 255), p.g = i32(v[SPRITE_ARG_G], 255), p.b = i32(v[SPRITE_ARG_B], 255);
    p.a = i32(v[SPRITE_ARG_A], 255);
    p.tile_x = f32(v[SPRITE_ARG_TILE_X]), p.tile_y = f32(v[SPRITE_ARG_TILE_Y]);
    p.tile_w = f32(v[SPRITE_ARG_TILE_W], -1), p.tile_h = f32(v[SPRITE_ARG_TILE_H], -1);
    p.source_x = f32(v[SPRITE_ARG_SOURCE_X]), p.source_y = f32(v[SPRITE_ARG_SOURCE_Y]);
    p.source_w = f32(v[SPRITE_ARG_SOURCE_W], -1), p.source_h = f32(v[SPRITE_ARG_SOURCE_H], -1);
    p.flip_horizontally = mrb_test(v[SPRITE_ARG_FLIP_HORIZONTALLY]) ? 1u : 0u;
    p.flip_vertically = mrb_test(v[SPRITE_ARG_FLIP_VERTICALLY]) ? 1u : 0u;
    p.angle_anchor_x = f32(v[SPRITE_ARG_ANGLE_ANCHOR_X], 0.5f), p.angle_anchor_y = f32(v[SPRITE_ARG_ANGLE_ANCHOR_Y], 0.5f);
    return p;
}

static mrb_value ffi_draw_draw_sprite_3(mrb_state *mrb, mrb_value self)
{
    // "ooooSooooooooobboooooo"
    const mrb_value *v = draw_args(mrb, SPRITE_ARGUMENT_COUNT);
    frame_write_sprite(ffi_frame_stream(), full_sprite(v, required_string(mrb, v[SPRITE_ARG_PATH])));
    return mrb_nil_value();
}

const char *ffi_sprite_argument_name(int index)
{
#define FFI_SPRITE_ARGUMENT_NAME(index, name) #name,
    static const char *const names[SPRITE_ARGUMENT_COUNT] = {FFI_SPRITE_ARGUMENTS(FFI_SPRITE_ARGUMENT_NAME)};
#undef FFI_SPRITE_ARGUMENT_NAME
    return index >= 0 && index < SPRITE_ARGUMENT_COUNT ? names[index] : nullptr;
}

// A Hash sprite's keys: the arguments' names, then the four that send a Hash lacking a
// position or colour to its readers.
enum sprite_key_extra : int {
    SPRITE_KEY_RECT = SPRITE_ARGUMENT_COUNT,
    SPRITE_KEY_POINT,
    SPRITE_KEY_RGB,
    SPRITE_KEY_RGBA,
    SPRITE_KEY_COUNT
};
static const char *const sprite_key_extras[] = {"rect", "point", "rgb", "rgba"};

// A Hash's fields by key, in an open-addressed table of 64 slots (slot: the field's index +
// 1; 0 is free), so that each entry of a Hash finds its field in a probe or two; the Hash's
// entries are visited once (looking the fields up one by one scans the whole Hash for every
// field it lacks).
struct hash_fields {
    mrb_sym keys[64];
    uint8_t slots[64];
    mrb_value values[SPRITE_KEY_COUNT]; // the most fields of any kind
    int count;
};

static void hash_fields_init(mrb_state *mrb, hash_fields *h, int count, const char *(*name_of)(int))
{
    memset(h->slots, 0, sizeof h->slots);
    h->count = count;
    for (int k = 0; k < count; k++) {
        mrb_sym sym = mrb_intern_cstr(mrb, name_of(k));
        unsigned at = (unsigned)sym & 63;
        while (h->slots[at]) at = (at + 1) & 63;
        h->keys[at] = sym, h->slots[at] = (uint8_t)(k + 1);
    }
}

static int read_field_entry(mrb_state *, mrb_value key, mrb_value value, void *data)
{
    if (!mrb_symbol_p(key)) return 0;
    hash_fields *h = (hash_fields *)data;
    mrb_sym sym = mrb_symbol(key);
    for (unsigned at = (unsigned)sym & 63; h->slots[at]; at = (at + 1) & 63) {
        if (h->keys[at] == sym) {
            h->values[h->slots[at] - 1] = value;
            break;
        }
    }
    return 0;
}

// Every field of the Hash, nil where it has none.
static void read_hash_fields(mrb_state *mrb, mrb_value hash, hash_fields *h)
{
    for (int k = 0; k < h->count; k++) h->values[k] = mrb_nil_value();
    mrb_hash_foreach(mrb, mrb_hash_ptr(hash), read_field_entry, h);
}

static const char *sprite_key_name(int k)
{
    return k < SPRITE_ARGUMENT_COUNT ? ffi_sprite_argument_name(k) : sprite_key_extras[k - SPRITE_ARGUMENT_COUNT];
}

static bool method_is_native(mrb_state *mrb, RClass *c, mrb_sym name)
{
    mrb_method_t m = mrb_method_search_vm(mrb, &c, name);
    return MRB_METHOD_UNDEF_P(m) || MRB_METHOD_CFUNC_P(m);
}

// The layout of the interpreter's method table (src/class.c of the pinned source): only its
// entry count is read, to tell a singleton class that holds no methods of its own.
struct method_table_head {
    int size;
};

static bool holds_no_methods(RClass *c) { return !c->mt || ((method_table_head *)c->mt)->size == 0; }

// Whether draw_sprite would read s by key (a Hash) or by position (an Array marked as a
// sprite) and nothing else: no subclass, no default, no singleton methods, no module
// mixed in after the sprite's own.
enum plain_kind { PLAIN_NONE, PLAIN_HASH, PLAIN_ARRAY };

static plain_kind plain_sprite_kind(mrb_state *mrb, mrb_value s, RClass *sprite_array)
{
    if (mrb_hash_p(s)) {
        bool plain = mrb_obj_ptr(s)->c == mrb->hash_class && !MRB_RHASH_DEFAULT_P(s) && !MRB_RHASH_PROCDEFAULT_P(s);
        return plain ? PLAIN_HASH : PLAIN_NONE;
    }
    if (!mrb_array_p(s) || !sprite_array) return PLAIN_NONE;
    RClass *c = mrb_obj_ptr(s)->c;
    if (c->tt != MRB_TT_SCLASS || !holds_no_methods(c)) return PLAIN_NONE;
    RClass *first = c->super;
    return first && first->tt == MRB_TT_ICLASS && first->c == sprite_array ? PLAIN_ARRAY : PLAIN_NONE;
}

// Whether two singleton classes have the same modules and classes above them, in order.
static bool same_ancestry(RClass *a, RClass *b)
{
    for (a = a->super, b = b->super; a && b; a = a->super, b = b->super) {
        RClass *ma = a->tt == MRB_TT_ICLASS ? a->c : a, *mb = b->tt == MRB_TT_ICLASS ? b->c : b;
        if (ma != mb) return false;
    }
    return a == b;
}

// Whether the modules right above a marked Array's singleton class are the sprite module
// and its parts in its own order: then every sprite reader is the one that module answers,
// which reads the position read here. An Array marked as another kind before it was marked
// as a sprite holds the other kind's modules in between, whose readers may come first.
static bool sprite_readers_first(RClass *c, RClass *sprite_array)
{
    RClass *at = c->super;
    for (RClass *part = sprite_array->super; part; part = part->super) {
        at = at->super;
        if (!at || at->tt != MRB_TT_ICLASS || at->c != (part->tt == MRB_TT_ICLASS ? part->c : part)) return false;
    }
    return true;
}

// Nothing that draw_sprite reads may have been given a Ruby definition: the element
// readers, defaults and respond_to?, and no draw_override anywhere on the way.
static bool reads_natively(mrb_state *mrb, RClass *c, bool hash)
{
    static const char *const names[] = {"[]", "respond_to?", "respond_to_missing?", "is_a?", "default"};
    for (int i = 0; i < (hash ? 5 : 4); i++)
        if (!method_is_native(mrb, c, mrb_intern_cstr(mrb, names[i]))) return false;
    return !mrb_obj_respond_to(mrb, c, mrb_intern_lit(mrb, "draw_override"));
}

// Writes the sprites c[from...to] while each is a plain Hash or an Array marked as a sprite
// (sprite_array), in any mix, as draw_sprite would: a Hash's entries are visited once
// (looking up the 22 fields one by one scans the whole Hash for every field it lacks), an
// Array is read by position without a method call per field. Answers the index of the
// first element left to draw_sprite: any other object, a Hash whose position or colour lies
// under :rect, :point, :rgb or :rgba, a path that is no plain String. Nothing here calls
// into Ruby, so the collection cannot change under the loop.
static mrb_value ffi_draw_draw_plain_sprites(mrb_state *mrb, mrb_value self)
{
    mrb_value c, module;
    mrb_int from, to;
    mrb_get_args(mrb, "oiio", &c, &from, &to, &module);
    if (from < 0 || !mrb_array_p(c) || from >= RARRAY_LEN(c)) return mrb_int_value(mrb, from);
    RClass *sprite_array = mrb_type(module) == MRB_TT_MODULE ? mrb_class_ptr(module) : nullptr;
    if (plain_sprite_kind(mrb, RARRAY_PTR(c)[from], sprite_array) == PLAIN_NONE) return mrb_int_value(mrb, from);
    // A draw object whose sprite writers were replaced, or a collection or a path String
    // given Ruby readers, goes the long way.
    RClass *draw = mrb_obj_ptr(self)->c;
    if (!method_is_native(mrb, draw, mrb_intern_lit(mrb, "draw_sprite_2")) ||
        !method_is_native(mrb, draw, mrb_intern_lit(mrb, "draw_sprite_3")) ||
        !method_is_native(mrb, mrb_obj_ptr(c)->c, mrb_intern_lit(mrb, "at")) ||
        !method_is_native(mrb, mrb->string_class, mrb_intern_lit(mrb, "to_s")))
        return mrb_int_value(mrb, from);
    // Each kind of element is vetted when it first comes: Hashes once, marked Arrays once
    // for every ancestry met in a row (an Array whose ancestry is the vetted one's answers
    // as that one does).
    int hashes_plain = -1;
    RClass *vetted_array = nullptr;
    hash_fields h;
    bool keys_ready = false;
    threadstream *frame = ffi_frame_stream();
    mrb_int i = from;
    for (; i < to && i < RARRAY_LEN(c); i++) {
        mrb_value s = RARRAY_PTR(c)[i];
        const mrb_value *v = h.values;
        plain_kind kind = plain_sprite_kind(mrb, s, sprite_array);
        if (kind == PLAIN_HASH) {
            if (hashes_plain < 0) hashes_plain = reads_natively(mrb, mrb->hash_class, true);
            if (!hashes_plain) break;
            if (!keys_ready) {
                hash_fields_init(mrb, &h, SPRITE_KEY_COUNT, sprite_key_name);
                keys_ready = true;
            }
            read_hash_fields(mrb, s, &h);
            bool rect = mrb_test(v[SPRITE_ARG_X]) && mrb_test(v[SPRITE_ARG_Y]) && mrb_test(v[SPRITE_ARG_W]) &&
                        mrb_test(v[SPRITE_ARG_H]);
            if (!rect && (mrb_test(v[SPRITE_KEY_RECT]) || mrb_test(v[SPRITE_KEY_POINT]))) break;
            bool colour = mrb_test(v[SPRITE_ARG_A]) && mrb_test(v[SPRITE_ARG_R]) && mrb_test(v[SPRITE_ARG_G]) &&
                          mrb_test(v[SPRITE_ARG_B]);
            if (!colour && (mrb_test(v[SPRITE_KEY_RGB]) || mrb_test(v[SPRITE_KEY_RGBA]))) break;
        } else if (kind == PLAIN_ARRAY) {
            RClass *array_class = mrb_obj_ptr(s)->c;
            if (!vetted_array || !same_ancestry(array_class, vetted_array)) {
                if (!sprite_readers_first(array_class, sprite_array) || !reads_natively(mrb, array_class, false)) break;
                vetted_array = array_class;
            }
            // Every argument by position (nil past the end).
            const mrb_value *fields = RARRAY_PTR(s);
            mrb_int length = RARRAY_LEN(s);
            for (int k = 0; k < SPRITE_ARGUMENT_COUNT; k++) h.values[k] = k < length ? fields[k] : mrb_nil_value();
        } else {
            break;
        }
        // The readers send the path to_s: a String of any other class may answer otherwise.
        frame_string path = {"", 0};
        mrb_value path_value = v[SPRITE_ARG_PATH];
        if (mrb_test(path_value)) {
            if (!mrb_string_p(path_value) || mrb_obj_ptr(path_value)->c != mrb->string_class) break;
            path = string_field(path_value);
        }
        frame_write_sprite(frame, full_sprite(v, path));
    }
    return mrb_int_value(mrb, i);
}

// A label Hash's keys: draw_label's arguments, then the four that send a Hash lacking a
// position or colour to its readers.
enum label_key : int {
    LABEL_X,
    LABEL_Y,
    LABEL_TEXT,
    LABEL_SIZE_ENUM,
    LABEL_ALIGNMENT_ENUM,
    LABEL_R,
    LABEL_G,
    LABEL_B,
    LABEL_A,
    LABEL_FONT,
    LABEL_RECT,
    LABEL_POINT,
    LABEL_RGB,
    LABEL_RGBA,
    LABEL_KEY_COUNT
};
// Each kind's fields fit hash_fields, whose table keeps a slot free for a probe to end on.
static_assert((int)LABEL_KEY_COUNT <= (int)SPRITE_KEY_COUNT && SPRITE_KEY_COUNT < 64, "hash_fields holds every kind's fields");

static const char *label_key_name(int k)
{
    static const char *const names[LABEL_KEY_COUNT] = {"x", "y", "text", "size_enum", "alignment_enum", "r", "g",
                                                       "b", "a", "font", "rect", "point", "rgb", "rgba"};
    return names[k];
}

// A label's text or font as draw_label gets it from s_or_default: a plain String as it is,
// nil or false as `absent`. False for anything else, whose to_s is Ruby's to answer.
static bool plain_text(mrb_state *mrb, mrb_value v, frame_string absent, frame_string *out)
{
    if (!mrb_test(v)) {
        *out = absent;
        return true;
    }
    if (!mrb_string_p(v) || mrb_obj_ptr(v)->c != mrb->string_class) return false;
    *out = string_field(v);
    return true;
}

// Writes the labels c[from...to] while each is a plain Hash, as draw_label would (the
// framework has checked that s_or_default is its own). Answers the index of the first
// element left to draw_label: any other object, a Hash whose position or colour lies under
// :rect, :point, :rgb or :rgba, a text or font that is neither nil, false nor a plain
// String. Nothing here calls into Ruby.
static mrb_value ffi_draw_draw_plain_labels(mrb_state *mrb, mrb_value self)
{
    mrb_value c;
    mrb_int from, to;
    mrb_get_args(mrb, "oii", &c, &from, &to);
    if (from < 0 || !mrb_array_p(c) || from >= RARRAY_LEN(c)) return mrb_int_value(mrb, from);
    if (plain_sprite_kind(mrb, RARRAY_PTR(c)[from], nullptr) != PLAIN_HASH) return mrb_int_value(mrb, from);
    RClass *draw = mrb_obj_ptr(self)->c;
    if (!method_is_native(mrb, draw, mrb_intern_lit(mrb, "draw_label")) ||
        !method_is_native(mrb, mrb_obj_ptr(c)->c, mrb_intern_lit(mrb, "at")) ||
        !method_is_native(mrb, mrb->string_class, mrb_intern_lit(mrb, "to_s")) ||
        !reads_natively(mrb, mrb->hash_class, true))
        return mrb_int_value(mrb, from);
    hash_fields h;
    hash_fields_init(mrb, &h, LABEL_KEY_COUNT, label_key_name);
    const mrb_value *v = h.values;
    threadstream *frame = ffi_frame_stream();
    mrb_int i = from;
    for (; i < to && i < RARRAY_LEN(c); i++) {
        mrb_value l = RARRAY_PTR(c)[i];
        if (plain_sprite_kind(mrb, l, nullptr) != PLAIN_HASH) break;
        read_hash_fields(mrb, l, &h);
        bool place = mrb_test(v[LABEL_X]) && mrb_test(v[LABEL_Y]);
        if (!place && (mrb_test(v[LABEL_RECT]) || mrb_test(v[LABEL_POINT]))) break;
        bool colour = mrb_test(v[LABEL_R]) && mrb_test(v[LABEL_G]) && mrb_test(v[LABEL_B]) && mrb_test(v[LABEL_A]);
        if (!colour && (mrb_test(v[LABEL_RGB]) || mrb_test(v[LABEL_RGBA]))) break;
        frame_string text, font;
        if (!plain_text(mrb, v[LABEL_TEXT], frame_string{"", 0}, &text) ||
            !plain_text(mrb, v[LABEL_FONT], frame_string{nullptr, 0}, &font))
            break;
        frame_write_label(frame, frame_label{f32(v[LABEL_X]), f32(v[LABEL_Y]), text, font, f32(v[LABEL_SIZE_ENUM]),
                                             i32(v[LABEL_ALIGNMENT_ENUM]), i32(v[LABEL_R]), i32(v[LABEL_G]),
                                             i32(v[LABEL_B]), i32(v[LABEL_A], 255)});
    }
    return mrb_int_value(mrb, i);
}

// Takes the sprite's argument list; the tolerance rides in angle and the tail is ignored.
static mrb_value ffi_draw_draw_screenshot(mrb_state *mrb, mrb_value self)
{
    // "Sooooooooooooobboooooo": path, x, y, w, h, angle (the tolerance), a, r, g, b, then the
    // sprite's twelve tail arguments, ignored
    const mrb_value *v = draw_args(mrb, 22);
    frame_write_screenshot(ffi_frame_stream(), frame_screenshot{required_string(mrb, v[0]), f32(v[1]), f32(v[2]),
                                                                  f32(v[3]), f32(v[4]), i32(v[5]), i32(v[7]),
                                                                  i32(v[8]), i32(v[9]), i32(v[6])});
    return mrb_nil_value();
}

static mrb_value ffi_draw_set_grid(mrb_state *mrb, mrb_value self)
{
    mrb_float x, y;
    mrb_int scale;
    mrb_get_args(mrb, "ffi", &x, &y, &scale);
    frame_write_grid(ffi_frame_stream(), frame_grid{(float)x, (float)y, (int32_t)(uint32_t)(uint64_t)scale});
    return mrb_nil_value();
}

static mrb_value ffi_draw_unload_sprite(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    frame_write_string_record(ffi_frame_stream(), DRAW_UNLOAD_SPRITE, frame_cstring(path));
    return mrb_nil_value();
}

static mrb_value ffi_draw_openurl(mrb_state *mrb, mrb_value self)
{
    const char *url;
    mrb_get_args(mrb, "z", &url);
    frame_write_string_record(ffi_frame_stream(), DRAW_OPENURL, frame_cstring(url));
    return mrb_nil_value();
}

static mrb_value ffi_draw_toggle_cursor(mrb_state *mrb, mrb_value self)
{
    mrb_bool show;
    mrb_get_args(mrb, "b", &show);
    frame_write_flag_record(ffi_frame_stream(), DRAW_TOGGLE_CURSOR, show);
    return mrb_nil_value();
}

static mrb_value ffi_draw_toggle_fullscreen(mrb_state *mrb, mrb_value self)
{
    mrb_bool fullscreen;
    mrb_get_args(mrb, "b", &fullscreen);
    frame_write_flag_record(ffi_frame_stream(), DRAW_TOGGLE_FULLSCREEN, fullscreen);
    return mrb_nil_value();
}

// A negative or oversized side, or a pixel count other than width x height, is refused
// before anything is written; the pixels are copied straight into the stream.
static mrb_value ffi_draw_upload_pixel_array(mrb_state *mrb, mrb_value self)
{
    const char *name;
    mrb_int width, height;
    const mrb_value *pixels;
    mrb_int count;
    mrb_get_args(mrb, "ziia", &name, &width, &height, &pixels, &count);
    int64_t bytes = frame_picture_bytes(width, height);
    if (bytes < 0 || bytes != (int64_t)count * 4) return mrb_nil_value();
    threadstream *s = ffi_frame_stream();
    frame_write_u32(s, DRAW_UPLOAD_PIXEL_ARRAY);
    frame_write_string(s, frame_cstring(name));
    if (uint8_t *at = frame_claim(s, 8)) frame_put_i32(frame_put_i32(at, (int32_t)width), (int32_t)height);
    uint8_t *at = frame_claim_buffer(s, (size_t)bytes);
    if (!at) return mrb_nil_value();
    for (mrb_int i = 0; i < count; i++) at = frame_put_u32(at, (uint32_t)ruby_to_i32(pixels[i], 0));
    return mrb_nil_value();
}


RClass *draw_define_class(mrb_state *mrb, RClass *ffi_module)
{
    RClass *draw = mrb_define_class_under(mrb, ffi_module, "Draw", mrb->object_class);
    mrb_define_method(mrb, draw, "draw_solid", ffi_draw_draw_solid, MRB_ARGS_REQ(8));
    mrb_define_method(mrb, draw, "draw_border", ffi_draw_draw_border, MRB_ARGS_REQ(8));
    mrb_define_method(mrb, draw, "draw_line", ffi_draw_draw_line, MRB_ARGS_REQ(8));
    mrb_define_method(mrb, draw, "draw_label", ffi_draw_draw_label, MRB_ARGS_REQ(10));
    mrb_define_method(mrb, draw, "draw_sprite", ffi_draw_draw_sprite, MRB_ARGS_REQ(5));
    mrb_define_method(mrb, draw, "draw_sprite_2", ffi_draw_draw_sprite_2, MRB_ARGS_REQ(7));
    mrb_define_method(mrb, draw, "draw_sprite_3", ffi_draw_draw_sprite_3, MRB_ARGS_REQ(22));
    mrb_define_method(mrb, draw, "draw_plain_sprites", ffi_draw_draw_plain_sprites, MRB_ARGS_REQ(4));
    mrb_define_method(mrb, draw, "draw_plain_labels", ffi_draw_draw_plain_labels, MRB_ARGS_REQ(3));
    mrb_define_method(mrb, draw, "draw_screenshot", ffi_draw_draw_screenshot, MRB_ARGS_REQ(22));
    mrb_define_method(mrb, draw, "set_grid", ffi_draw_set_grid, MRB_ARGS_REQ(3));
    mrb_define_method(mrb, draw, "unload_sprite", ffi_draw_unload_sprite, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, draw, "toggle_cursor", ffi_draw_toggle_cursor, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, draw, "toggle_fullscreen", ffi_draw_toggle_fullscreen, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, draw, "upload_pixel_array", ffi_draw_upload_pixel_array, MRB_ARGS_REQ(4));
    mrb_define_method(mrb, draw, "openurl", ffi_draw_openurl, MRB_ARGS_REQ(1));
    return draw;
}
