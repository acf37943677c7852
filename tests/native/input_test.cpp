// Controller slots, controller polling, raw joysticks and the controller-mapping screen
// against SDL's virtual joysticks; events through SDL's own queue.
#include "base/physfsrwops.h"
#include "host/input.h"
#include "host/simulation.h"
#include "render/event_format.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

class InputHost : public ::testing::Test {
  protected:
    host_fixture fx;
    thread_channel *rc = nullptr;
    std::vector<SDL_JoystickID> attached_ids; // device indices are renumbered on detach

    void SetUp() override { up(); }

    void up()
    {
        ASSERT_TRUE(host_fixture_up(&fx, true));
        ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER)) << SDL_GetError();
        rc = host_fixture_queues();
        rc->window_id = 5;
    }

    void TearDown() override { down(); }

    void down()
    {
        controller_slots_close(&test_game.controllers);
        for (SDL_JoystickID id : attached_ids) detach(id);
        attached_ids.clear();
        thread_channel_delete(rc);
        test_game.channel = nullptr;
        host_fixture_down(&fx);
    }

    static int device_of(SDL_JoystickID id)
    {
        for (int i = 0; i < SDL_NumJoysticks(); i++)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) return i;
        return -1;
    }

    // Attaches a virtual device and answers its instance id.
    SDL_JoystickID attach(SDL_JoystickType type, const char *name, int axes, int buttons, int hats)
    {
        SDL_VirtualJoystickDesc d;
        SDL_zero(d);
        d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        d.type = type;
        d.naxes = axes;
        d.nbuttons = buttons;
        d.nhats = hats;
        d.name = name;
        int index = SDL_JoystickAttachVirtualEx(&d);
        SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
        attached_ids.push_back(id);
        return id;
    }

    SDL_JoystickID attach(bool controller, const char *name)
    {
        return controller ? attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, name, SDL_CONTROLLER_AXIS_MAX,
                                   SDL_CONTROLLER_BUTTON_MAX, 0)
                          : attach(SDL_JOYSTICK_TYPE_ARCADE_STICK, name, 2, 3, 1);
    }

    void detach(SDL_JoystickID id)
    {
        int index = device_of(id);
        if (index >= 0) SDL_JoystickDetachVirtual(index);
    }

    // Queues the events as one stream, as the render thread does.
    void queue(const std::vector<SDL_Event> &events) { threadstreamqueue_putitem(rc->event_queue, host_fixture_event_stream(events)); }

    void dispatch(const std::vector<SDL_Event> &events)
    {
        queue(events);
        input_dispatch_events(&test_game);
    }

    static SDL_Event device_event(Uint32 type, Sint32 which)
    {
        SDL_Event e = {};
        e.type = type;
        e.cdevice.which = which;
        return e;
    }

    SDL_Joystick *stick(SDL_JoystickID id) { return SDL_JoystickFromInstanceID(id); }

    // Axis, hat and button events share their layout up to the index; a hat's value and a
    // button's state are the same byte.
    static SDL_Event joy(Uint32 type, SDL_JoystickID id, int index, int value)
    {
        SDL_Event e = {};
        e.type = type;
        e.jaxis.which = id;
        e.jaxis.axis = (Uint8)index;
        if (type == SDL_JOYAXISMOTION) e.jaxis.value = (Sint16)value;
        else e.jhat.value = (Uint8)value;
        return e;
    }

    // The controller the host put in a slot for a device (through the add event).
    void plug(SDL_JoystickID id) { dispatch({device_event(SDL_CONTROLLERDEVICEADDED, device_of(id))}); }

    // The joystick id of the controller in a slot, or -1 for an empty slot.
    static SDL_JoystickID slot(int i)
    {
        return test_game.controllers.player[i] ? SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(test_game.controllers.player[i])) : -1;
    }
};

class Input : public InputHost {
  protected:
    void SetUp() override
    {
        up();
        host_fixture_eval("$calls = []; class ZOQ::Runtime; %w[controller_key_down controller_key_held "
                          "controller_key_up left_analog_x_player_1 right_analog_y_player_1 left_analog_x_player_2 "
                          "rawjoystick_connected rawjoystick_disconnected rawjoystick_axis rawjoystick_hat "
                          "rawjoystick_button mouse_wheel mouse_button_up window_mouse_focus_changed key_up_raw mouse_move "
                          "key_down_raw window_keyboard_focus_changed textinput]"
                          ".each { |n| define_method(n) { |*a| $calls << [n.to_sym, *a] } }; end");
    }

    // Sets axes (or buttons) of a virtual device to values, in pairs.
    void set(SDL_JoystickID id, bool axis, std::initializer_list<std::pair<int, int>> values)
    {
        for (auto v : values) {
            if (axis) SDL_JoystickSetVirtualAxis(stick(id), v.first, (Sint16)v.second);
            else SDL_JoystickSetVirtualButton(stick(id), v.first, (Uint8)v.second);
        }
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
        input_report_controller_keys(&test_game, 1);
        input_report_controller_keys(&test_game, 2);
        poll_controller_player(&test_game, 1);
        poll_controller_player(&test_game, 2);
    }
};

TEST_F(Input, ThreeControllersFillTwoSlotsAndUnpluggingOneFreesItsSlot)
{
    SDL_JoystickID one = attach(true, "one"), two = attach(true, "two"), three = attach(true, "three");
    plug(one);
    plug(one); // announced again (SDL does so when a mapping is added): still one slot
    EXPECT_EQ(nullptr, test_game.controllers.player[1]);
    plug(two);
    plug(three);
    EXPECT_EQ(one, slot(0));
    EXPECT_EQ(two, slot(1));
    EXPECT_EQ(nullptr, SDL_GameControllerFromInstanceID(three)); // closed at once
    EXPECT_EQ("[]", calls());                                      // the Ruby side hears nothing

    // Player 1's controller goes away: player 2 keeps theirs and slot 1 takes the next one.
    detach(one);
    dispatch({device_event(SDL_CONTROLLERDEVICEREMOVED, one)});
    EXPECT_EQ(-1, slot(0));
    EXPECT_EQ(nullptr, SDL_GameControllerFromInstanceID(one)); // no reference left behind
    EXPECT_EQ(two, slot(1));
    plug(three);
    EXPECT_EQ(three, slot(0));
    // Removal of a controller the host never opened changes nothing.
    dispatch({device_event(SDL_CONTROLLERDEVICEREMOVED, 12345)});
    EXPECT_EQ(three, slot(0));
    EXPECT_EQ(two, slot(1));
}

TEST_F(Input, PollingMarksSlotsStrictlyPastTheThresholdsAndKeepsRawSticks)
{
    SDL_JoystickID pad = attach(true, "pad");
    plug(pad);
    uint32_t *keys = test_game.p1_controller_key_states;
    // A trigger reads about 16384 half-way.
    const int edge = CONTROLLER_STICK_THRESHOLD;
    set(pad, true, {{SDL_CONTROLLER_AXIS_LEFTX, edge}, {SDL_CONTROLLER_AXIS_RIGHTY, -edge}, {SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0}});
    poll_controller_player(&test_game, 1);
    for (int k = 0; k < CONTROLLER_KEY_SLOTS; k++) EXPECT_EQ(CONTROLLER_KEY_IDLE, keys[k]) << k; // exactly at the threshold is not past it
    EXPECT_EQ(edge, test_game.p1_analog_sticks[0]);
    EXPECT_EQ(-edge, test_game.p1_analog_sticks[3]);

    set(pad, true, {{SDL_CONTROLLER_AXIS_LEFTX, 25000}, {SDL_CONTROLLER_AXIS_RIGHTY, -25000}, {SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767}});
    set(pad, false, {{SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1}, {SDL_CONTROLLER_BUTTON_GUIDE, 1}, {SDL_CONTROLLER_BUTTON_B, 1},
                     {SDL_CONTROLLER_BUTTON_RIGHTSTICK, 1}});
    poll_controller_player(&test_game, 1);
    std::vector<int> pressed;
    for (int k = 0; k < CONTROLLER_KEY_SLOTS; k++)
        if (keys[k] == CONTROLLER_KEY_PRESSED) pressed.push_back(k);
    // up (right stick y), left (d-pad) and its own slot, right (stick x), guide, B, right stick
    // button, right trigger
    EXPECT_EQ((std::vector<int>{CONTROLLER_KEY_UP, CONTROLLER_KEY_LEFT, CONTROLLER_KEY_RIGHT, CONTROLLER_KEY_START,
                                CONTROLLER_KEY_B, CONTROLLER_KEY_R3, CONTROLLER_KEY_R2, CONTROLLER_KEY_DIRECTIONAL_LEFT}),
              pressed);
    EXPECT_EQ(CONTROLLER_KEY_IDLE, test_game.p2_controller_key_states[CONTROLLER_KEY_RIGHT]); // player 2 has no controller

    input_report_analog(&test_game);
    EXPECT_EQ("[[:left_analog_x_player_1, 25000], [:right_analog_y_player_1, -25000], "
              "[:left_analog_x_player_2, 0]]",
              calls());
}

TEST_F(Input, AHeldButtonIsReportedDownThenHeldThenUpAfterRelease)
{
    SDL_JoystickID pad = attach(true, "pad");
    plug(pad);
    set(pad, false, {{SDL_CONTROLLER_BUTTON_A, 1}});
    step(); // the poll sees it pressed
    step(); // reported down
    step(); // held
    set(pad, false, {{SDL_CONTROLLER_BUTTON_A, 0}});
    step(); // held, then the poll sees it released
    step(); // reported up
    step(); // nothing more
    std::string a = std::to_string(CONTROLLER_KEY_A);
    EXPECT_EQ("[[:controller_key_down, 1, " + a + "], [:controller_key_held, 1, " + a + "], [:controller_key_held, 1, " +
                  a + "], [:controller_key_up, 1, " + a + "]]",
              calls());

    // Unplugging while held releases the key and zeroes the sticks from the next poll.
    set(pad, false, {{SDL_CONTROLLER_BUTTON_X, 1}});
    set(pad, true, {{SDL_CONTROLLER_AXIS_LEFTY, 30000}});
    step();
    step();
    calls();
    detach(pad);
    dispatch({device_event(SDL_CONTROLLERDEVICEREMOVED, pad)});
    step();
    step();
    std::string down = std::to_string(CONTROLLER_KEY_DOWN), x = std::to_string(CONTROLLER_KEY_X);
    EXPECT_EQ("[[:controller_key_held, 1, " + down + "], [:controller_key_held, 1, " + x + "], [:controller_key_up, 1, " +
                  down + "], [:controller_key_up, 1, " + x + "]]",
              calls());
    EXPECT_EQ(0, test_game.p1_analog_sticks[1]);
}

TEST_F(Input, AButtonTappedBetweenTwoPollsIsReportedDownThenUp)
{
    SDL_JoystickID pad = attach(true, "pad");
    plug(pad);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    set(pad, false, {{SDL_CONTROLLER_BUTTON_A, 1}});
    set(pad, false, {{SDL_CONTROLLER_BUTTON_A, 0}});
    // What the render thread polled reaches the step before its poll, as the step orders it.
    std::vector<SDL_Event> polled;
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLERBUTTONUP) == 1) polled.push_back(e);
    ASSERT_EQ(2u, polled.size());
    dispatch(polled);
    for (int i = 0; i < 4; i++) step();
    std::string a = std::to_string(CONTROLLER_KEY_A);
    EXPECT_EQ("[[:controller_key_down, 1, " + a + "], [:controller_key_up, 1, " + a + "]]", calls());
}

TEST_F(Input, RawJoysticksAreReportedAndGameControllersAreLeftToTheSlots)
{
    SDL_JoystickID raw = attach(false, "Arcade Stick");
    SDL_JoystickID pad = attach(true, "pad");
    plug(pad);
    dispatch({device_event(SDL_JOYDEVICEADDED, device_of(raw)), device_event(SDL_JOYDEVICEADDED, device_of(pad))});
    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(device_of(raw)), guid, sizeof guid);
    memset(guid + 4, '0', 4); // without the name checksum, the form mapping lines are matched in
    EXPECT_EQ("[[:rawjoystick_connected, " + std::to_string(raw) + ", \"Arcade Stick\", \"" + guid + "\"]]", calls());
    EXPECT_EQ(32u, strlen(guid));

    ASSERT_TRUE(stick(raw));
    dispatch({joy(SDL_JOYAXISMOTION, raw, 1, -32768), joy(SDL_JOYHATMOTION, raw, 0, SDL_HAT_LEFTUP),
              joy(SDL_JOYBALLMOTION, raw, 0, 0), joy(SDL_JOYBUTTONDOWN, raw, 2, SDL_PRESSED),
              joy(SDL_JOYBUTTONUP, raw, 2, SDL_RELEASED), device_event(SDL_JOYDEVICEREMOVED, raw),
              device_event(SDL_JOYDEVICEREMOVED, pad)});
    // The raw joystick is closed on removal; a controller's joystick is left to its slot.
    EXPECT_EQ(nullptr, stick(raw));
    EXPECT_EQ(pad, slot(0));
    std::string id = std::to_string(raw);
    EXPECT_EQ("[[:rawjoystick_axis, " + id + ", 1, -32768], [:rawjoystick_hat, " + id + ", 0, 9], " +
                  "[:rawjoystick_button, " + id + ", 2, true], [:rawjoystick_button, " + id + ", 2, false], " +
                  "[:rawjoystick_disconnected, " + id + "], [:rawjoystick_disconnected, " + std::to_string(pad) +
                  "]]",
              calls());
}

TEST_F(Input, EventsReachTheirCallbacksWithTheirFieldsTouchEmulationAndOtherWindowsAreIgnoredDropsFreed)
{
    auto event = [](Uint32 type, const std::function<void(SDL_Event &)> &fill) {
        SDL_Event e = {};
        e.type = type;
        fill(e);
        return e;
    };
    auto window = [&](Uint32 id, Uint8 what) {
        return event(SDL_WINDOWEVENT, [&](SDL_Event &e) { e.window.windowID = id, e.window.event = what; });
    };
    auto key = [&](Uint32 type, SDL_Keycode sym, Uint16 mod) {
        return event(type, [&](SDL_Event &e) { e.key.keysym.sym = sym, e.key.keysym.mod = mod; });
    };
    SDL_Event key_up = key(SDL_KEYUP, SDLK_ESCAPE, KMOD_RCTRL);
    char *dropped = SDL_strdup("dropped.txt");
    queue({event(SDL_MOUSEMOTION, [](SDL_Event &e) { e.motion.which = SDL_TOUCH_MOUSEID; }),
           event(SDL_MOUSEWHEEL, [](SDL_Event &e) { e.wheel.which = SDL_TOUCH_MOUSEID; }),
           event(SDL_DROPFILE, [&](SDL_Event &e) { e.drop.file = dropped; }), event(SDL_QUIT, [](SDL_Event &) {}),
           event(SDL_MOUSEMOTION, [](SDL_Event &e) { e.motion.x = 3, e.motion.y = 4; }),
           event(SDL_MOUSEWHEEL, [](SDL_Event &e) { e.wheel.x = 2, e.wheel.y = -3; }),
           event(SDL_MOUSEWHEEL, [](SDL_Event &e) { e.wheel.y = 1, e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED; }),
           event(SDL_MOUSEBUTTONUP, [](SDL_Event &e) { e.button.which = SDL_TOUCH_MOUSEID; }),
           event(SDL_MOUSEBUTTONUP, [](SDL_Event &e) { e.button.button = SDL_BUTTON_RIGHT; }),
           key(SDL_KEYDOWN, SDLK_a, KMOD_LSHIFT), key_up, window(5, SDL_WINDOWEVENT_LEAVE),
           window(5, SDL_WINDOWEVENT_RESIZED), window(5, SDL_WINDOWEVENT_FOCUS_LOST), window(6, SDL_WINDOWEVENT_FOCUS_LOST),
           event(SDL_TEXTINPUT, [](SDL_Event &e) { strcpy(e.text.text, "\xc3\xa9"); })});
    int allocations = SDL_GetNumAllocations();
    input_dispatch_events(&test_game);
    dispatch({window(5, SDL_WINDOWEVENT_ENTER)});
    EXPECT_EQ("[[:mouse_move, 3, 4], [:mouse_wheel, 2, -3], [:mouse_wheel, 0, -1], [:mouse_button_up, 3], "
              "[:key_down_raw, 97, 1], [:key_up_raw, 27, 128], [:window_mouse_focus_changed, false], "
              "[:window_keyboard_focus_changed, false], [:textinput, \"\\xc3\\xa9\"], [:window_mouse_focus_changed, true]]",
              calls());
    EXPECT_EQ(allocations - 1, SDL_GetNumAllocations()); // the dropped file's name is freed
    EXPECT_EQ(CONTROLLER_KEY_PRESSED, test_game.p1_controller_key_states[CONTROLLER_KEY_QUIT]);
    test_game.p1_controller_key_states[CONTROLLER_KEY_QUIT] = CONTROLLER_KEY_IDLE;
    // A raising callback is logged and the next one still runs.
    host_fixture_eval("class ZOQ::Runtime; def key_down_raw(*a); raise 'bad key'; end; end");
    dispatch({key(SDL_KEYDOWN, SDLK_a, 0), key_up});
    EXPECT_EQ("[[:key_up_raw, 27, 128]]", calls());

    // A stream whose count is 0, or whose count promises more records than it holds, is
    // recycled after what it does hold.
    threadstreamqueue_putitem(rc->event_queue, host_fixture_event_stream({}));
    threadstream *short_stream = host_fixture_event_stream({key_up});
    event_stream_finish(short_stream, 3);
    threadstreamqueue_putitem(rc->event_queue, short_stream);
    int pooled = threadstream_pool_size();
    input_dispatch_events(&test_game);
    EXPECT_EQ("[[:key_up_raw, 27, 128]]", calls());
    EXPECT_EQ(pooled + 2, threadstream_pool_size());
}

// The mapping screen driven through whole steps: a joystick SDL has no mapping for.
class Mapping : public InputHost {
  protected:
    std::string eval(const std::string &code) { return host_fixture_eval(code); }

    void steps(int n)
    {
        for (int i = 0; i < n; i++) {
            ASSERT_EQ(1, simulation_tick(&test_game));
            SDL_Delay(14); // the runtime skips steps less than 13 ms apart
            threadstream *frame;
            while ((frame = threadstreamqueue_getitem(rc->frame_queue))) threadstream_free(frame);
        }
    }

    // One step with these events queued before it.
    void step_with(const std::vector<SDL_Event> &events)
    {
        queue(events);
        steps(1);
    }

    void key(SDL_Keycode sym)
    {
        SDL_Event down = {}, up = {};
        down.type = SDL_KEYDOWN;
        down.key.keysym.sym = sym;
        up = down;
        up.type = SDL_KEYUP;
        step_with({down});
        step_with({up});
    }

    // Fades last 90 ticks; what is tested here is what comes after them.
    void skip_fade()
    {
        eval("$zoq.controller_config.toggled_at -= 90");
        steps(1);
    }

    SDL_JoystickID attach_unknown() { return attach(SDL_JOYSTICK_TYPE_UNKNOWN, "Pad, Mk\x01II", 4, 6, 1); }

    std::string labels() { return eval("$zoq.args.outputs.primitives.map { |p| p[:text] }.compact"); }
};

TEST_F(Mapping, AnUnknownJoystickIsWalkedSavedAndBecomesControllerOne)
{
    write_file(fx.game_dir + "/app/main.rb",
               "$ticks = 0\ndef tick args\n  $ticks += 1\n  $a ||= args.inputs.controller_one.a\nend\n");
    steps(3);
    ASSERT_EQ(":ready", eval("$zoq.load_status"));

    // ESCAPE leaves the joystick alone: the screen fades out, the joystick is closed and the
    // game goes on.
    SDL_JoystickID raw = attach_unknown();
    ASSERT_FALSE(SDL_IsGameController(device_of(raw)));
    step_with({device_event(SDL_JOYDEVICEADDED, device_of(raw))});
    EXPECT_EQ(std::to_string(raw), eval("$zoq.controller_config.target[0]"));
    EXPECT_NE(std::string::npos, labels().find("Pad, Mk\\x01II")) << labels();
    std::string ticks = eval("$ticks");
    skip_fade();
    key(SDLK_ESCAPE);
    EXPECT_EQ(ticks, eval("$ticks")); // the game's tick waits while the screen is up
    skip_fade();
    EXPECT_EQ("false", eval("$zoq.controller_config.should_tick?"));
    EXPECT_EQ(nullptr, stick(raw));
    EXPECT_NE(ticks, eval("$ticks"));

    // Plugged in again: each part in turn, SPACE skipping, BACKSPACE going back.
    step_with({device_event(SDL_JOYDEVICEADDED, device_of(raw))});
    skip_fade();
    EXPECT_NE(std::string::npos, labels().find("Please press the A button.")) << labels();
    const Uint32 A = SDL_JOYAXISMOTION, H = SDL_JOYHATMOTION, B = SDL_JOYBUTTONDOWN;
    struct part_input {
        std::vector<SDL_Event> events;
        SDL_Keycode key;
    };
    std::vector<part_input> walk = {
        {{joy(B, raw, 0, 1)}, 0},                                             // A
        {{joy(B, raw, 1, 1)}, 0},                                             // B
        {{joy(B, raw, 2, 1)}, 0},                                             // X (then undone)
        {{}, SDLK_BACKSPACE},                                                 // back to X
        {{joy(B, raw, 3, 1)}, 0},                                             // X
        {{}, SDLK_SPACE},                                                     // Y skipped
        {{joy(A, raw, 0, -3000), joy(A, raw, 0, -32768), joy(A, raw, 0, 0)}, 0}, // left stick left
        {{joy(A, raw, 0, 32767), joy(A, raw, 0, 0)}, 0},                      // left stick right
        {{joy(A, raw, 1, 3000), joy(A, raw, 1, 32767), joy(A, raw, 1, 0)}, 0},  // left stick up
        {{joy(A, raw, 1, -32768), joy(A, raw, 1, 0)}, 0},                     // left stick down
    };
    for (int i = 8; i < 18; i++) walk.push_back({{}, SDLK_SPACE}); // stick buttons .. right trigger
    for (int v : {1, 2, 4, 8}) walk.push_back({{joy(H, raw, 0, v), joy(H, raw, 0, 0)}, 0}); // the d-pad
    walk.push_back({{}, SDLK_SPACE});               // back
    walk.push_back({{}, SDLK_SPACE});               // guide
    walk.push_back({{joy(B, raw, 5, 1)}, 0});       // start: then the test screen
    for (const part_input &p : walk) {
        if (p.key) key(p.key);
        else step_with(p.events);
    }
    EXPECT_NE(std::string::npos, labels().find("Now play around")) << labels();

    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(device_of(raw)), guid, sizeof guid);
    memset(guid + 4, '0', 4);
    std::string line = std::string(guid) +
                       ",Pad  Mk II,platform:Linux,a:b0,b:b1,x:b3,leftx:a0,lefty:a1~,dpup:h0.1,dpright:h0.2,"
                       "dpdown:h0.4,dpleft:h0.8,start:b5,\n";
    key(SDLK_SPACE);
    EXPECT_EQ(line, read_file(fx.base_dir + "/user_controller_mappings.txt"));
    EXPECT_EQ(raw, slot(0));
    skip_fade();
    EXPECT_EQ("false", eval("$zoq.controller_config.should_tick?"));

    // The game sees the mapped button as controller_one.a.
    SDL_JoystickSetVirtualButton(SDL_GameControllerGetJoystick(test_game.controllers.player[0]), 0, 1);
    SDL_JoystickUpdate();
    steps(3);
    EXPECT_NE("nil", eval("$a"));

    // A restart reads the mapping file: the joystick is a controller from the start.
    down();
    up();
    SDL_RWops *mappings = PHYSFSRWOPS_openRead("user_controller_mappings.txt");
    ASSERT_FALSE(mappings); // a fresh base folder...
    write_file(fx.base_dir + "/user_controller_mappings.txt", line);
    mappings = PHYSFSRWOPS_openRead("user_controller_mappings.txt");
    ASSERT_TRUE(mappings);
    EXPECT_EQ(1, SDL_GameControllerAddMappingsFromRW(mappings, 1));
    SDL_JoystickID again = attach_unknown();
    EXPECT_TRUE(SDL_IsGameController(device_of(again)));
    dispatch({device_event(SDL_JOYDEVICEADDED, device_of(again)),
              device_event(SDL_CONTROLLERDEVICEADDED, device_of(again))});
    EXPECT_EQ("{}", eval("$zoq.controller_config.raw_joysticks"));
    EXPECT_TRUE(test_game.controllers.player[0]);
}

TEST_F(Mapping, ARejectedLineIsNotWrittenAndItsJoystickStaysRaw)
{
    SDL_JoystickID raw = attach_unknown();
    dispatch({device_event(SDL_JOYDEVICEADDED, device_of(raw))});
    ASSERT_TRUE(stick(raw));
    eval("m = FFI::Misc.new; m.add_controller_config 'not a mapping'; m.convert_rawjoystick_to_controller " +
         std::to_string(raw));
    EXPECT_EQ("none", read_file(fx.base_dir + "/user_controller_mappings.txt", "none"));
    EXPECT_TRUE(stick(raw));
    EXPECT_EQ(nullptr, test_game.controllers.player[0]);
    // Closing through the screen's method ignores ids that are not open raw joysticks.
    SDL_JoystickID pad = attach(true, "pad");
    plug(pad);
    eval("m = FFI::Misc.new; m.close_raw_joystick " + std::to_string(pad) + "; m.close_raw_joystick 99999; " +
         "m.close_raw_joystick " + std::to_string(raw));
    EXPECT_EQ(nullptr, stick(raw));
    EXPECT_TRUE(SDL_JoystickGetAttached(SDL_GameControllerGetJoystick(test_game.controllers.player[0])));
}
