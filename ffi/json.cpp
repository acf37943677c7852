// FFI::Misc: JSON text and files parsed into Ruby values.
#include "ffi/ffi.h"

static mrb_value ffi_misc_parse_json_file(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    return mrb_nil_value();
}

static mrb_value ffi_misc_parse_json(mrb_state *mrb, mrb_value self)
{
    const char *text;
    mrb_get_args(mrb, "z", &text);
    return mrb_nil_value();
}

void ffi_json_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "parse_json_file", ffi_misc_parse_json_file, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "parse_json", ffi_misc_parse_json, MRB_ARGS_ANY());
}
