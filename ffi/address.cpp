// FFI::Misc: the local network address.
#include "ffi/ffi.h"

// First version: nil, the answer when no suitable address exists.
static mrb_value ffi_misc_get_local_ip_address(mrb_state *mrb, mrb_value self) { return mrb_nil_value(); }

void ffi_address_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "get_local_ip_address", ffi_misc_get_local_ip_address, MRB_ARGS_ANY());
}
