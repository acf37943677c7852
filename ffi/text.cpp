// FFI::Misc#calcstringbox: text measured in the render context's fonts, from the font's
// metrics and the glyphs already cached, on the simulation thread while the render thread
// may be caching glyphs of the same font: both hold the font lock.
#include "base/ruby.h"
#include "ffi/ffi.h"
#include "render/render.h"
#include "render/fontatlas.h"

// [width, height] of the text as a label of that size_enum draws it; [0.0, 0.0] without a font.
static mrb_value ffi_misc_calcstringbox(mrb_state *mrb, mrb_value self)
{
    const char *text, *font_path;
    mrb_float size_enum; // an Integer or a Float: 1.5 measures as a label of 1.5 draws
    mrb_get_args(mrb, "zfz", &text, &size_enum, &font_path);
    float width = 0.0f, height = 0.0f;
    render_context *render = ffi_render_context;
    if (render) {
        render_font_lock(render);
        fontatlas *font = lookup_font(render, font_path);
        // A float, as a drawn label's size reaches the frame: 1.4999999999 measures as it draws.
        uint32_t px = fontatlas_label_pixel_size((float)size_enum);
        if (font) fontatlas_calcstringrect(font, text, px, &width, &height);
        render_font_unlock(render);
    }
    return ruby_float_pair(mrb, width, height);
}

void ffi_text_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "calcstringbox", ffi_misc_calcstringbox, MRB_ARGS_REQ(3));
}
