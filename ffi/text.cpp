// FFI::Misc: text measuring for labels.
#include "ffi/ffi.h"

// First version: no font measuring yet; [0.0, 0.0] is the no-font answer.
static mrb_value ffi_misc_calcstringbox(mrb_state *mrb, mrb_value self)
{
    const char *text, *font;
    mrb_int size_enum;
    mrb_get_args(mrb, "ziz", &text, &size_enum, &font);
    return ffi_float_pair(mrb, 0.0, 0.0);
}

void ffi_text_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "calcstringbox", ffi_misc_calcstringbox, MRB_ARGS_ANY());
}
