// FFI::Misc: the window title and the device size.
#include "base/ruby.h"
#include "ffi/ffi.h"
#include "render/render.h"

// The window belongs to the render thread: the title is handed over and set there.
static mrb_value ffi_misc_set_window_title(mrb_state *mrb, mrb_value self)
{
    const char *title;
    mrb_get_args(mrb, "z", &title);
    if (ffi_render_context) render_context_request_title(ffi_render_context, title);
    return mrb_nil_value();
}

// The window's size in window coordinates as recorded when it was made; a host without a
// window has none.
static mrb_value ffi_misc_device_size(mrb_state *mrb, mrb_value self)
{
    render_context *render = ffi_render_context;
    if (!render) return ruby_float_pair(mrb, 0.0, 0.0);
    return ruby_float_pair(mrb, (double)render->window_width, (double)render->window_height);
}

void ffi_window_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "set_window_title", ffi_misc_set_window_title, MRB_ARGS_REQ(1));
    // Reads no arguments and ignores any given: NONE would make the interpreter refuse them.
    mrb_define_method(mrb, misc, "device_size", ffi_misc_device_size, MRB_ARGS_ANY());
}
