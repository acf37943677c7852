// FFI::Misc: the machine's network address, as a device on the same network would reach it.
#include "ffi/ffi.h"
#include "services/network.h"

#include <mruby/string.h>

// The address as getnameinfo writes it (an IPv6 one unbracketed, with its scope when it has
// one): whoever puts it in a URL brackets it there.
static mrb_value ffi_misc_get_local_ip_address(mrb_state *mrb, mrb_value self)
{
    char address[64] = "";
    if (!network_get_local_address(address, sizeof address)) return mrb_nil_value();
    return mrb_str_new_cstr(mrb, address);
}

void ffi_address_define(mrb_state *mrb, RClass *misc)
{
    // Reads no arguments and ignores any given: NONE would make the interpreter refuse them.
    mrb_define_method(mrb, misc, "get_local_ip_address", ffi_misc_get_local_ip_address, MRB_ARGS_ANY());
}
