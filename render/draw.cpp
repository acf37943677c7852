// FFI::Draw: the methods through which the framework writes draw commands into the
// current frame stream. First version: the immediate commands are written; the primitive,
// screenshot and pixel-array writers accept their arguments and write nothing yet.
#include "render/render.h"
#include "host/frame_stream.h"

#include <mruby/class.h>

static threadstream *writable_stream(void)
{
    threadstream *s = current_frame_stream;
    return s && !s->error ? s : nullptr;
}

static mrb_value ffi_draw_pending(mrb_state *mrb, mrb_value self) { return mrb_nil_value(); }

static mrb_value ffi_draw_set_grid(mrb_state *mrb, mrb_value self)
{
    mrb_value x, y, scale;
    mrb_get_args(mrb, "ooo", &x, &y, &scale);
    threadstream *s = writable_stream();
    if (s) {
        threadstream_pack_u32(s, DRAW_SET_GRID);
        threadstream_pack_ruby_float(s, x);
        threadstream_pack_ruby_float(s, y);
        threadstream_pack_ruby_int(s, scale);
    }
    return mrb_nil_value();
}

static mrb_value write_flag(mrb_state *mrb, uint32_t code)
{
    mrb_value flag;
    mrb_get_args(mrb, "o", &flag);
    threadstream *s = writable_stream();
    if (s) {
        threadstream_pack_u32(s, code);
        threadstream_pack_u32(s, mrb_test(flag) ? 1 : 0);
    }
    return mrb_nil_value();
}

static mrb_value ffi_draw_toggle_cursor(mrb_state *mrb, mrb_value self) { return write_flag(mrb, DRAW_TOGGLE_CURSOR); }
static mrb_value ffi_draw_toggle_fullscreen(mrb_state *mrb, mrb_value self) { return write_flag(mrb, DRAW_TOGGLE_FULLSCREEN); }

static mrb_value write_name(mrb_state *mrb, uint32_t code)
{
    mrb_value name;
    mrb_get_args(mrb, "o", &name);
    threadstream *s = writable_stream();
    if (s) {
        threadstream_pack_u32(s, code);
        threadstream_pack_ruby_string(s, name);
    }
    return mrb_nil_value();
}

static mrb_value ffi_draw_unload_sprite(mrb_state *mrb, mrb_value self) { return write_name(mrb, DRAW_UNLOAD_SPRITE); }
static mrb_value ffi_draw_openurl(mrb_state *mrb, mrb_value self) { return write_name(mrb, DRAW_OPENURL); }

RClass *draw_define_class(mrb_state *mrb, RClass *ffi_module)
{
    RClass *draw = mrb_define_class_under(mrb, ffi_module, "Draw", mrb->object_class);
    static const char *const pending[] = {"draw_solid",  "draw_sprite",     "draw_sprite_2",     "draw_sprite_3",
                                          "draw_label",  "draw_line",       "draw_border",       "draw_screenshot",
                                          "upload_pixel_array"};
    for (const char *name : pending) mrb_define_method(mrb, draw, name, ffi_draw_pending, MRB_ARGS_ANY());
    mrb_define_method(mrb, draw, "set_grid", ffi_draw_set_grid, MRB_ARGS_ANY());
    mrb_define_method(mrb, draw, "unload_sprite", ffi_draw_unload_sprite, MRB_ARGS_ANY());
    mrb_define_method(mrb, draw, "toggle_cursor", ffi_draw_toggle_cursor, MRB_ARGS_ANY());
    mrb_define_method(mrb, draw, "toggle_fullscreen", ffi_draw_toggle_fullscreen, MRB_ARGS_ANY());
    mrb_define_method(mrb, draw, "openurl", ffi_draw_openurl, MRB_ARGS_ANY());
    return draw;
}
