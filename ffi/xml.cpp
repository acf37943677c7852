// FFI::Misc: XML text and files parsed into Ruby values.
#include "ffi/ffi.h"

// First versions of the parsers: nil, the answer for text that does not parse.
static mrb_value ffi_misc_parse_xml_file(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_bool strip;
    mrb_get_args(mrb, "zb", &path, &strip);
    return mrb_nil_value();
}

static mrb_value ffi_misc_parse_xml(mrb_state *mrb, mrb_value self)
{
    const char *text;
    mrb_int length;
    mrb_bool strip;
    mrb_get_args(mrb, "sb", &text, &length, &strip);
    return mrb_nil_value();
}

void ffi_xml_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "parse_xml_file", ffi_misc_parse_xml_file, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "parse_xml", ffi_misc_parse_xml, MRB_ARGS_ANY());
}
