// FFI::Misc: controller mapping (raw joysticks made game controllers, saved mappings).
#include "ffi/ffi.h"

// First versions of the controller-mapping methods: nothing is opened, closed or saved.
static mrb_value ffi_misc_close_raw_joystick(mrb_state *mrb, mrb_value self)
{
    mrb_int id;
    mrb_get_args(mrb, "i", &id);
    return mrb_nil_value();
}

static mrb_value ffi_misc_add_controller_config(mrb_state *mrb, mrb_value self)
{
    const char *mapping;
    mrb_get_args(mrb, "z", &mapping);
    return mrb_nil_value();
}

static mrb_value ffi_misc_convert_rawjoystick_to_controller(mrb_state *mrb, mrb_value self)
{
    mrb_int id;
    mrb_get_args(mrb, "i", &id);
    return mrb_nil_value();
}

void ffi_controller_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "close_raw_joystick", ffi_misc_close_raw_joystick, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "add_controller_config", ffi_misc_add_controller_config, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "convert_rawjoystick_to_controller", ffi_misc_convert_rawjoystick_to_controller,
                      MRB_ARGS_ANY());
}
