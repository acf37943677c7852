// FFI::Misc: the class of the runtime's services. Each service keeps its methods in its own
// file and registers them here.
#include "ffi/ffi.h"

void ffi_misc_define(mrb_state *mrb, RClass *misc)
{
    ffi_text_define(mrb, misc);
    ffi_xml_define(mrb, misc);
    ffi_json_define(mrb, misc);
    ffi_window_define(mrb, misc);
    ffi_clipboard_define(mrb, misc);
    ffi_controller_define(mrb, misc);
    ffi_http_define(mrb, misc);
    ffi_extensions_define(mrb, misc);
    ffi_address_define(mrb, misc);
}
