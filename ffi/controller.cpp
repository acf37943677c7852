// FFI::Misc's methods for the controller-mapping screen: closing a raw joystick, saving a
// mapping line, and reopening a mapped joystick as a game controller.
#include "base/files.h"
#include "ffi/ffi.h"

#include <string.h>

#define USER_MAPPINGS_FILE "user_controller_mappings.txt"

static bool instance_id_fits(mrb_int id) { return id >= 0 && id <= INT32_MAX; }

static mrb_value ffi_misc_close_raw_joystick(mrb_state *mrb, mrb_value self)
{
    mrb_int id;
    mrb_get_args(mrb, "i", &id);
    if (instance_id_fits(id)) controller_close_raw_joystick((SDL_JoystickID)id);
    return mrb_nil_value();
}

// A line SDL refuses would be refused again at every start-up: it is logged, not kept.
static mrb_value ffi_misc_add_controller_config(mrb_state *mrb, mrb_value self)
{
    const char *mapping;
    mrb_get_args(mrb, "z", &mapping);
    if (SDL_GameControllerAddMapping(mapping) < 0) {
        SDL_Log("Controller mapping not saved (%s): %s", SDL_GetError(), mapping);
        return mrb_nil_value();
    }
    char *line = sprintf_alloc("%s\n", mapping);
    if (!line) return mrb_nil_value();
    if (!appendfile_write_override(ffi_game_context->base_dir, USER_MAPPINGS_FILE, line, strlen(line)))
        SDL_Log("Couldn't append to %s", USER_MAPPINGS_FILE);
    SDL_free(line);
    return mrb_nil_value();
}

static int device_index_of(SDL_JoystickID id)
{
    for (int i = 0; i < SDL_NumJoysticks(); i++)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) return i;
    return -1;
}

// Only a joystick that SDL now maps is let go: one without a mapping stays open and raw.
static mrb_value ffi_misc_convert_rawjoystick_to_controller(mrb_state *mrb, mrb_value self)
{
    mrb_int id;
    mrb_get_args(mrb, "i", &id);
    if (!instance_id_fits(id) || !SDL_JoystickFromInstanceID((SDL_JoystickID)id)) return mrb_nil_value();
    int device = device_index_of((SDL_JoystickID)id);
    if (device < 0 || !SDL_IsGameController(device)) return mrb_nil_value();
    controller_close_raw_joystick((SDL_JoystickID)id);
    if (ffi_game_context) controller_slots_open(&ffi_game_context->controllers, device);
    return mrb_nil_value();
}

void ffi_controller_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "close_raw_joystick", ffi_misc_close_raw_joystick, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, misc, "add_controller_config", ffi_misc_add_controller_config, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, misc, "convert_rawjoystick_to_controller", ffi_misc_convert_rawjoystick_to_controller,
                      MRB_ARGS_REQ(1));
}
