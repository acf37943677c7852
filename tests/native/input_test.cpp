// Controller slots, controller polling and raw joysticks against SDL's virtual joysticks,
// with the runtime's bridge callbacks recorded in Ruby.
#include "host/input.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

class Input : public ::testing::Test {
  protected:
    host_fixture fx;
    thread_channel *rc = nullptr;
    std::vector<int> attached; // device indices are renumbered on detach: keep instance ids
    std::vector<SDL_JoystickID> attached_ids;

    void SetUp() override
    {
        ASSERT_TRUE(host_fixture_up(&fx, true));
        ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER)) << SDL_GetError();
        rc = host_fixture_queues();
        host_fixture_eval("$calls = []; class ZOQ::Runtime; %w[controller_key_down controller_key_held "
                          "controller_key_up left_analog_x_player_1 right_analog_y_player_1 left_analog_x_player_2 "
                          "rawjoystick_connected rawjoystick_disconnected rawjoystick_axis rawjoystick_hat "
                          "rawjoystick_button mouse_wheel mouse_button_up window_mouse_focus_changed key_up_raw]"
                          ".each { |n| define_method(n) { |*a| $calls << [n.to_sym, *a] } }; end");
    }

    void TearDown() override
    {
        input_close_controllers();
        for (SDL_JoystickID id : attached_ids) detach(id);
        thread_channel_delete(rc);
        game_ctx.channel = nullptr;
        host_fixture_down(&fx);
    }

    static int device_of(SDL_JoystickID id)
    {
        for (int i = 0; i < SDL_NumJoysticks(); i++)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) return i;
        return -1;
    }

    // Attaches a virtual device and answers its instance id.
    SDL_JoystickID attach(bool controller, const char *name)
    {
        SDL_VirtualJoystickDesc d;
        SDL_zero(d);
        d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        d.type = controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_ARCADE_STICK;
        d.naxes = controller ? SDL_CONTROLLER_AXIS_MAX : 2;
        d.nbuttons = controller ? SDL_CONTROLLER_BUTTON_MAX : 3;
        d.nhats = controller ? 0 : 1;
        d.name = name;
        int index = SDL_JoystickAttachVirtualEx(&d);
        SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
        attached_ids.push_back(id);
        return id;
    }

    void detach(SDL_JoystickID id)
    {
        int index = device_of(id);
        if (index >= 0) SDL_JoystickDetachVirtual(index);
    }

    void dispatch(std::initializer_list<SDL_Event> events)
    {
        threadstreamqueue_putitem(rc->event_queue, host_fixture_event_stream(events));
        input_dispatch_events(&game_ctx);
    }

    static SDL_Event device_event(Uint32 type, Sint32 which)
    {
        SDL_Event e = {};
        e.type = type;
        e.cdevice.which = which;
        return e;
    }

    SDL_Joystick *stick(SDL_JoystickID id) { return SDL_JoystickFromInstanceID(id); }

    // The controller the host put in a slot for a device (through the add event).
    void plug(SDL_JoystickID id) { dispatch({device_event(SDL_CONTROLLERDEVICEADDED, device_of(id))}); }

    void set(SDL_JoystickID id, int axis_or_button, int value, bool axis)
    {
        if (axis) SDL_JoystickSetVirtualAxis(stick(id), axis_or_button, (Sint16)value);
        else SDL_JoystickSetVirtualButton(stick(id), axis_or_button, (Uint8)value);
        SDL_JoystickUpdate();
    }

    std::string calls()
    {
        std::string out = host_fixture_eval("$calls");
        host_fixture_eval("$calls.clear");
        return out;
    }

    // One step's input part: report, (no events), poll both players.
    void step()
    {
        input_report_controller_keys(&game_ctx, 1);
        input_report_controller_keys(&game_ctx, 2);
        poll_controller_player(&game_ctx, 1);
        poll_controller_player(&game_ctx, 2);
    }
};

TEST_F(Input, ThreeControllersFillTwoSlotsAndUnpluggingOneFreesItsSlot)
{
    SDL_JoystickID one = attach(true, "one"), two = attach(true, "two"), three = attach(true, "three");
    plug(one);
    plug(two);
    plug(three);
    ASSERT_TRUE(controller_slots[0]);
    ASSERT_TRUE(controller_slots[1]);
    EXPECT_EQ(one, SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller_slots[0])));
    EXPECT_EQ(two, SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller_slots[1])));
    EXPECT_EQ(nullptr, SDL_GameControllerFromInstanceID(three)); // closed at once
    EXPECT_EQ("[]", calls());                                      // the Ruby side hears nothing

    // Player 1's controller goes away: player 2 keeps theirs and slot 1 takes the next one.
    detach(one);
    dispatch({device_event(SDL_CONTROLLERDEVICEREMOVED, one)});
    EXPECT_EQ(nullptr, controller_slots[0]);
    EXPECT_EQ(two, SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller_slots[1])));
    plug(three);
    ASSERT_TRUE(controller_slots[0]);
    EXPECT_EQ(three, SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller_slots[0])));
    // Removal of a controller the host never opened changes nothing.
    dispatch({device_event(SDL_CONTROLLERDEVICEREMOVED, 12345)});
    EXPECT_TRUE(controller_slots[0] && controller_slots[1]);
}

TEST_F(Input, PollingMarksSlotsStrictlyPastTheThresholdsAndKeepsRawSticks)
{
    SDL_JoystickID pad = attach(true, "pad");
    plug(pad);
    uint32_t *keys = game_ctx.p1_controller_key_states;
    set(pad, SDL_CONTROLLER_AXIS_LEFTX, 20000, true);
    set(pad, SDL_CONTROLLER_AXIS_RIGHTY, -20000, true);
    set(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0, true); // a trigger reads about 16384 half-way
    poll_controller_player(&game_ctx, 1);
    for (int k = 0; k < CONTROLLER_KEY_SLOTS; k++) EXPECT_EQ(0u, keys[k]) << k; // exactly 20000 is not past it
    EXPECT_EQ(20000, game_ctx.p1_analog_sticks[0]);
    EXPECT_EQ(-20000, game_ctx.p1_analog_sticks[3]);

    set(pad, SDL_CONTROLLER_AXIS_LEFTX, 25000, true);
    set(pad, SDL_CONTROLLER_AXIS_RIGHTY, -25000, true);
    set(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767, true);
    set(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1, false);
    set(pad, SDL_CONTROLLER_BUTTON_GUIDE, 1, false);
    set(pad, SDL_CONTROLLER_BUTTON_B, 1, false);
    set(pad, SDL_CONTROLLER_BUTTON_RIGHTSTICK, 1, false);
    poll_controller_player(&game_ctx, 1);
    std::vector<int> pressed;
    for (int k = 0; k < CONTROLLER_KEY_SLOTS; k++)
        if (keys[k] == 1) pressed.push_back(k);
    // right (stick x), up (right stick y), left (d-pad) and its own slot, guide, B,
    // right stick button, right trigger
    EXPECT_EQ((std::vector<int>{1, 3, 4, 13, 14, 21, 23, 26}), pressed);
    EXPECT_EQ(0u, game_ctx.p2_controller_key_states[4]); // player 2 has no controller

    input_report_analog(&game_ctx);
    EXPECT_EQ("[[:left_analog_x_player_1, 25000], [:right_analog_y_player_1, -25000], "
              "[:left_analog_x_player_2, 0]]",
              calls());
}

TEST_F(Input, AHeldButtonIsReportedDownThenHeldThenUpAfterRelease)
{
    SDL_JoystickID pad = attach(true, "pad");
    plug(pad);
    set(pad, SDL_CONTROLLER_BUTTON_A, 1, false);
    step(); // the poll sees it pressed
    step(); // reported down
    step(); // held
    set(pad, SDL_CONTROLLER_BUTTON_A, 0, false);
    step(); // held, then the poll sees it released
    step(); // reported up
    step(); // nothing more
    EXPECT_EQ("[[:controller_key_down, 1, 15], [:controller_key_held, 1, 15], [:controller_key_held, 1, 15], "
              "[:controller_key_up, 1, 15]]",
              calls());

    // Unplugging while held releases the key and zeroes the sticks from the next poll.
    set(pad, SDL_CONTROLLER_BUTTON_X, 1, false);
    set(pad, SDL_CONTROLLER_AXIS_LEFTY, 30000, true);
    step();
    step();
    calls();
    detach(pad);
    dispatch({device_event(SDL_CONTROLLERDEVICEREMOVED, pad)});
    step();
    step();
    EXPECT_EQ("[[:controller_key_held, 1, 2], [:controller_key_held, 1, 16], [:controller_key_up, 1, 2], "
              "[:controller_key_up, 1, 16]]",
              calls());
    EXPECT_EQ(0, game_ctx.p1_analog_sticks[1]);
}

TEST_F(Input, RawJoysticksAreReportedAndGameControllersAreLeftToTheSlots)
{
    SDL_JoystickID raw = attach(false, "Arcade Stick");
    SDL_JoystickID pad = attach(true, "pad");
    dispatch({device_event(SDL_JOYDEVICEADDED, device_of(raw)), device_event(SDL_JOYDEVICEADDED, device_of(pad))});
    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(device_of(raw)), guid, sizeof guid);
    EXPECT_EQ("[[:rawjoystick_connected, " + std::to_string(raw) + ", \"Arcade Stick\", \"" + guid + "\"]]", calls());
    EXPECT_EQ(32u, strlen(guid));

    SDL_Event axis = {}, hat = {}, down = {}, up = {}, ball = {};
    axis.type = SDL_JOYAXISMOTION;
    axis.jaxis.which = raw;
    axis.jaxis.axis = 1;
    axis.jaxis.value = -32768;
    hat.type = SDL_JOYHATMOTION;
    hat.jhat.which = raw;
    hat.jhat.value = SDL_HAT_LEFTUP;
    down.type = SDL_JOYBUTTONDOWN;
    down.jbutton.which = raw;
    down.jbutton.button = 2;
    down.jbutton.state = SDL_PRESSED;
    up = down;
    up.type = SDL_JOYBUTTONUP;
    up.jbutton.state = SDL_RELEASED;
    ball.type = SDL_JOYBALLMOTION;
    dispatch({axis, hat, ball, down, up, device_event(SDL_JOYDEVICEREMOVED, raw)});
    std::string id = std::to_string(raw);
    EXPECT_EQ("[[:rawjoystick_axis, " + id + ", 1, -32768], [:rawjoystick_hat, " + id + ", 0, 9], " +
                  "[:rawjoystick_button, " + id + ", 2, true], [:rawjoystick_button, " + id + ", 2, false], " +
                  "[:rawjoystick_disconnected, " + id + "]]",
              calls());
}

TEST_F(Input, MouseWindowAndKeyEventsCarryTheirFieldsAndOtherWindowsAreIgnored)
{
    rc->window_id = 5;
    SDL_Event wheel = {}, touch_button = {}, button_up = {}, enter = {}, leave = {}, resized = {}, elsewhere = {},
              key_up = {};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.x = 2;
    wheel.wheel.y = -3;
    wheel.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    touch_button.type = SDL_MOUSEBUTTONUP;
    touch_button.button.which = SDL_TOUCH_MOUSEID;
    button_up.type = SDL_MOUSEBUTTONUP;
    button_up.button.button = SDL_BUTTON_RIGHT;
    enter.type = SDL_WINDOWEVENT;
    enter.window.windowID = 5;
    enter.window.event = SDL_WINDOWEVENT_ENTER;
    leave = enter;
    leave.window.event = SDL_WINDOWEVENT_LEAVE;
    resized = enter;
    resized.window.event = SDL_WINDOWEVENT_RESIZED;
    elsewhere = enter;
    elsewhere.window.windowID = 6;
    key_up.type = SDL_KEYUP;
    key_up.key.keysym.sym = SDLK_ESCAPE;
    key_up.key.keysym.mod = KMOD_RCTRL;
    dispatch({wheel, touch_button, button_up, leave, resized, elsewhere, key_up});
    dispatch({enter});
    EXPECT_EQ("[[:mouse_wheel, 2, -3], [:mouse_button_up, 3], [:window_mouse_focus_changed, false], "
              "[:key_up_raw, 27, 128], [:window_mouse_focus_changed, true]]",
              calls());

    // A stream whose count is 0, or whose count promises more records than it holds, is
    // recycled after what it does hold.
    threadstream *empty = threadstream_allocate();
    threadstream_pack_size_t(empty, 0);
    threadstreamqueue_putitem(rc->event_queue, empty);
    threadstream *short_stream = threadstream_allocate();
    threadstream_pack_size_t(short_stream, 3);
    threadstream_claim_space(short_stream, sizeof(SDL_Event));
    memcpy(short_stream->data + short_stream->length, &key_up, sizeof key_up);
    short_stream->length += sizeof key_up;
    threadstreamqueue_putitem(rc->event_queue, short_stream);
    int pooled = threadstream_pool_size();
    input_dispatch_events(&game_ctx);
    EXPECT_EQ("[[:key_up_raw, 27, 128]]", calls());
    EXPECT_EQ(pooled + 2, threadstream_pool_size());
}
