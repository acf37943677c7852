// FFI::Misc: native extensions loaded from the game.
#include "ffi/ffi.h"

// First version: no extension is loaded (nil is its answer whatever happens).
static mrb_value ffi_misc_zoq_dlopen(mrb_state *mrb, mrb_value self)
{
    const char *name;
    mrb_get_args(mrb, "z", &name);
    return mrb_nil_value();
}

void ffi_extensions_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "zoq_dlopen", ffi_misc_zoq_dlopen, MRB_ARGS_ANY());
}
