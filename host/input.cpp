#include "host/input.h"
#include "base/channel.h"
#include "base/ruby.h"
#include "render/event_format.h"

#include <mruby/string.h>
#include <string.h>

static uint32_t *key_states(game_context *context, int player)
{
    return player == 1 ? context->p1_controller_key_states : context->p2_controller_key_states;
}

static int32_t *analog_sticks(game_context *context, int player)
{
    return player == 1 ? context->p1_analog_sticks : context->p2_analog_sticks;
}

void input_report_controller_keys(game_context *context, int player)
{
    mrb_state *mrb = context->interpreter;
    uint32_t *states = key_states(context, player);
    for (int k = 0; k < CONTROLLER_KEY_SLOTS; k++) {
        const char *callback = nullptr;
        switch (states[k]) {
        case CONTROLLER_KEY_PRESSED: callback = "controller_key_down"; states[k] = CONTROLLER_KEY_HELD; break;
        case CONTROLLER_KEY_HELD: callback = "controller_key_held"; break;
        case CONTROLLER_KEY_RELEASED: callback = "controller_key_up"; states[k] = CONTROLLER_KEY_IDLE; break;
        default: break;
        }
        if (callback) {
            int ai = mrb_gc_arena_save(mrb);
            ruby_call2(mrb, context->runtime, callback, mrb_int_value(mrb, player), mrb_int_value(mrb, k));
            mrb_gc_arena_restore(mrb, ai);
        }
    }
}

static void call_ints(game_context *context, const char *name, int argc, const int64_t *values)
{
    mrb_state *mrb = context->interpreter;
    mrb_value args[3];
    for (int i = 0; i < argc; i++) args[i] = mrb_int_value(mrb, (mrb_int)values[i]);
    ruby_call(mrb, context->runtime, name, argc, args);
}

static void call_bool(game_context *context, const char *name, bool value)
{
    ruby_call1(context->interpreter, context->runtime, name, mrb_bool_value(value));
}

// Focus changes of the game's own window.
static void dispatch_window_event(game_context *context, const SDL_WindowEvent &w)
{
    if (!context->channel || w.windowID != context->channel->window_id) return;
    switch (w.event) {
    case SDL_WINDOWEVENT_ENTER: call_bool(context, "window_mouse_focus_changed", true); break;
    case SDL_WINDOWEVENT_LEAVE: call_bool(context, "window_mouse_focus_changed", false); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED: call_bool(context, "window_keyboard_focus_changed", true); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: call_bool(context, "window_keyboard_focus_changed", false); break;
    default: break;
    }
}

// Keys, typed text and the mouse; the mouse events SDL makes up from touches are left out.
static void dispatch_keyboard_or_mouse_event(game_context *context, const SDL_Event &e)
{
    mrb_state *mrb = context->interpreter;
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int64_t v[2] = {e.key.keysym.sym, e.key.keysym.mod};
        call_ints(context, e.type == SDL_KEYDOWN ? "key_down_raw" : "key_up_raw", 2, v);
        break;
    }
    case SDL_TEXTINPUT: {
        size_t len = strnlen(e.text.text, sizeof e.text.text);
        ruby_call1(mrb, context->runtime, "textinput", mrb_str_new(mrb, e.text.text, len));
        break;
    }
    case SDL_MOUSEMOTION:
        if (e.motion.which != SDL_TOUCH_MOUSEID) {
            int64_t v[2] = {e.motion.x, e.motion.y};
            call_ints(context, "mouse_move", 2, v);
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (e.button.which != SDL_TOUCH_MOUSEID) {
            int64_t v[1] = {e.button.button};
            call_ints(context, e.type == SDL_MOUSEBUTTONDOWN ? "mouse_button_pressed" : "mouse_button_up", 1, v);
        }
        break;
    case SDL_MOUSEWHEEL:
        if (e.wheel.which != SDL_TOUCH_MOUSEID) {
            int d = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
            int64_t v[2] = {(int64_t)e.wheel.x * d, (int64_t)e.wheel.y * d};
            call_ints(context, "mouse_wheel", 2, v);
        }
        break;
    default: break;
    }
}

// A joystick SDL has no mapping for is opened and reported raw, for the mapping screen.
static void raw_joystick_added(game_context *context, int device_index)
{
    mrb_state *mrb = context->interpreter;
    SDL_Joystick *joystick = SDL_JoystickOpen(device_index);
    if (!joystick) return;
    SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
    if (id == -1) {
        SDL_JoystickClose(joystick);
        return;
    }
    // SDL 2.26 looks mapping lines up by the GUID without its name checksum (bytes 2
    // and 3): a line keyed by the full GUID of a joystick with a checksum never applies.
    SDL_JoystickGUID id_guid = SDL_JoystickGetGUID(joystick);
    id_guid.data[2] = id_guid.data[3] = 0;
    char guid[33];
    SDL_JoystickGetGUIDString(id_guid, guid, sizeof guid);
    const char *name = SDL_JoystickName(joystick);
    mrb_value args[3] = {mrb_int_value(mrb, id), mrb_str_new_cstr(mrb, name ? name : ""), mrb_str_new_cstr(mrb, guid)};
    ruby_call(mrb, context->runtime, "rawjoystick_connected", 3, args);
}

// Raw joysticks and game controllers coming and going, and the raw joysticks' input.
static void dispatch_joystick_event(game_context *context, const SDL_Event &e)
{
    mrb_state *mrb = context->interpreter;
    switch (e.type) {
    case SDL_JOYAXISMOTION: {
        int64_t v[3] = {e.jaxis.which, e.jaxis.axis, e.jaxis.value};
        call_ints(context, "rawjoystick_axis", 3, v);
        break;
    }
    case SDL_JOYHATMOTION: {
        int64_t v[3] = {e.jhat.which, e.jhat.hat, e.jhat.value};
        call_ints(context, "rawjoystick_hat", 3, v);
        break;
    }
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
        mrb_value args[3] = {mrb_int_value(mrb, e.jbutton.which), mrb_int_value(mrb, e.jbutton.button),
                             mrb_bool_value(e.jbutton.state == SDL_PRESSED)};
        ruby_call(mrb, context->runtime, "rawjoystick_button", 3, args);
        break;
    }
    case SDL_JOYDEVICEADDED:
        if (!SDL_IsGameController(e.jdevice.which)) raw_joystick_added(context, e.jdevice.which);
        break;
    case SDL_JOYDEVICEREMOVED: {
        controller_close_raw_joystick(e.jdevice.which);
        int64_t v[1] = {e.jdevice.which};
        call_ints(context, "rawjoystick_disconnected", 1, v);
        break;
    }
    case SDL_CONTROLLERDEVICEADDED: controller_slots_open(&context->controllers, e.cdevice.which); break;
    case SDL_CONTROLLERDEVICEREMOVED: controller_slots_remove(&context->controllers, e.cdevice.which); break;
    case SDL_CONTROLLERBUTTONDOWN:
        controller_slots_note_button_down(&context->controllers, e.cbutton.which, e.cbutton.button);
        break;
    default: break;
    }
}

static void dispatch_event(game_context *context, const SDL_Event &e)
{
    switch (e.type) {
    case SDL_QUIT: context->p1_controller_key_states[CONTROLLER_KEY_QUIT] = CONTROLLER_KEY_PRESSED; break;
    case SDL_WINDOWEVENT: dispatch_window_event(context, e.window); break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL: dispatch_keyboard_or_mouse_event(context, e); break;
    case SDL_JOYAXISMOTION:
    case SDL_JOYHATMOTION:
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
    case SDL_JOYDEVICEADDED:
    case SDL_JOYDEVICEREMOVED:
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
    case SDL_CONTROLLERBUTTONDOWN: dispatch_joystick_event(context, e); break;
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
        SDL_free(e.drop.file); // SDL's copy of the dropped text: nothing else frees it
        break;
    default: break;
    }
}

void input_dispatch_event_stream(game_context *context, threadstream *stream)
{
    mrb_state *mrb = context->interpreter;
    uint64_t count = event_stream_read_count(stream);
    SDL_Event e;
    for (uint64_t i = 0; i < count && event_stream_read(stream, &e); i++) {
        int ai = mrb_gc_arena_save(mrb);
        dispatch_event(context, e);
        mrb_gc_arena_restore(mrb, ai);
    }
}

void input_dispatch_events(game_context *context)
{
    threadstream *stream;
    while (context->channel && (stream = threadstreamqueue_getitem(context->channel->event_queue))) {
        input_dispatch_event_stream(context, stream);
        threadstream_free(stream);
    }
}

static bool past_threshold(int32_t axis) { return axis > CONTROLLER_STICK_THRESHOLD || axis < -CONTROLLER_STICK_THRESHOLD; }

// Which key slots the controller holds down now, or pressed since the last poll (buttons
// that went down, by SDL button).
static void read_pressed_keys(SDL_GameController *c, const int32_t sticks[4], uint32_t went_down,
                              bool pressed[CONTROLLER_KEY_SLOTS])
{
    for (int stick = 0; stick < 2; stick++) {
        int32_t x = sticks[stick * 2], y = sticks[stick * 2 + 1];
        if (y < -CONTROLLER_STICK_THRESHOLD) pressed[CONTROLLER_KEY_UP] = true;
        if (y > CONTROLLER_STICK_THRESHOLD) pressed[CONTROLLER_KEY_DOWN] = true;
        if (x < -CONTROLLER_STICK_THRESHOLD) pressed[CONTROLLER_KEY_LEFT] = true;
        if (x > CONTROLLER_STICK_THRESHOLD) pressed[CONTROLLER_KEY_RIGHT] = true;
    }
    auto button = [c, went_down](SDL_GameControllerButton b) {
        return SDL_GameControllerGetButton(c, b) != 0 || (went_down >> b & 1u) != 0;
    };
    static const SDL_GameControllerButton dpad[4] = {SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_CONTROLLER_BUTTON_DPAD_DOWN,
                                                     SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_CONTROLLER_BUTTON_DPAD_RIGHT};
    for (int i = 0; i < 4; i++)
        if (button(dpad[i])) pressed[CONTROLLER_KEY_UP + i] = pressed[CONTROLLER_KEY_DIRECTIONAL_UP + i] = true;
    pressed[CONTROLLER_KEY_START] = button(SDL_CONTROLLER_BUTTON_START) || button(SDL_CONTROLLER_BUTTON_BACK) ||
                                    button(SDL_CONTROLLER_BUTTON_GUIDE);
    pressed[CONTROLLER_KEY_B] = button(SDL_CONTROLLER_BUTTON_B);
    pressed[CONTROLLER_KEY_A] = button(SDL_CONTROLLER_BUTTON_A);
    pressed[CONTROLLER_KEY_X] = button(SDL_CONTROLLER_BUTTON_X);
    pressed[CONTROLLER_KEY_Y] = button(SDL_CONTROLLER_BUTTON_Y);
    pressed[CONTROLLER_KEY_L1] = button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
    pressed[CONTROLLER_KEY_R1] = button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER);
    pressed[CONTROLLER_KEY_L3] = button(SDL_CONTROLLER_BUTTON_LEFTSTICK);
    pressed[CONTROLLER_KEY_R3] = button(SDL_CONTROLLER_BUTTON_RIGHTSTICK);
    pressed[CONTROLLER_KEY_L2] = past_threshold(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    pressed[CONTROLLER_KEY_R2] = past_threshold(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
}

void poll_controller_player(game_context *context, int player)
{
    bool pressed[CONTROLLER_KEY_SLOTS] = {};
    int32_t *sticks = analog_sticks(context, player);
    memset(sticks, 0, 4 * sizeof *sticks);
    SDL_GameController *c = context->controllers.player[player - 1];
    if (c) {
        static const SDL_GameControllerAxis axes[4] = {SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY,
                                                       SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY};
        for (int i = 0; i < 4; i++) sticks[i] = SDL_GameControllerGetAxis(c, axes[i]);
        read_pressed_keys(c, sticks, context->controllers.buttons_went_down[player - 1], pressed);
    }
    context->controllers.buttons_went_down[player - 1] = 0;
    uint32_t *states = key_states(context, player);
    for (int k = 0; k < CONTROLLER_KEY_SLOTS; k++) {
        if (pressed[k] && states[k] != CONTROLLER_KEY_HELD) states[k] = CONTROLLER_KEY_PRESSED;
        else if (!pressed[k] && states[k] == CONTROLLER_KEY_HELD) states[k] = CONTROLLER_KEY_RELEASED;
    }
}

void input_report_analog(game_context *context)
{
    for (int i = 0; i < CONTROLLER_ANALOG_CALLBACKS; i++) {
        int64_t v[1] = {i < 4 ? context->p1_analog_sticks[i] : context->p2_analog_sticks[i - 4]};
        call_ints(context, controller_analog_callbacks[i], 1, v);
    }
}
