// FFI::Misc: the system clipboard.
#include "ffi/ffi.h"

#include <mruby/string.h>

// First version: the clipboard is read once it can be reached from this thread; until
// then the answer is the no-text answer.
static mrb_value ffi_misc_getclipboard(mrb_state *mrb, mrb_value self) { return mrb_str_new_lit(mrb, ""); }

void ffi_clipboard_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "getclipboard", ffi_misc_getclipboard, MRB_ARGS_ANY());
}
