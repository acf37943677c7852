// controllers: the two game-controller slots (player 1, then player 2) with the rule that fills
// them, and what the host reports of a controller to the runtime: its key slots and their
// states, the stick threshold and the analog callbacks. The runtime's own tables of these
// names are made from this header (ZOQ::Host, host/game.cpp).
#pragma once
#include <SDL.h>
#include <stdint.h>

// A player's key slots: the raw_key the runtime's controller_key_down, _held and _up receive.
enum controller_key : int {
    CONTROLLER_KEY_UP = 1, // the pad, or either stick past the threshold
    CONTROLLER_KEY_DOWN = 2,
    CONTROLLER_KEY_LEFT = 3,
    CONTROLLER_KEY_RIGHT = 4,
    CONTROLLER_KEY_QUIT = 5, // player 1's: the window was closed; the step ends the run, unreported
    CONTROLLER_KEY_START = 13, // start, back or guide
    CONTROLLER_KEY_B = 14,
    CONTROLLER_KEY_A = 15,
    CONTROLLER_KEY_X = 16,
    CONTROLLER_KEY_Y = 17,
    CONTROLLER_KEY_L1 = 18, // the shoulders
    CONTROLLER_KEY_R1 = 19,
    CONTROLLER_KEY_L3 = 20, // the sticks pressed in
    CONTROLLER_KEY_R3 = 21,
    CONTROLLER_KEY_L2 = 22, // the triggers past the threshold
    CONTROLLER_KEY_R2 = 23,
    CONTROLLER_KEY_DIRECTIONAL_UP = 24, // the pad alone
    CONTROLLER_KEY_DIRECTIONAL_DOWN = 25,
    CONTROLLER_KEY_DIRECTIONAL_LEFT = 26,
    CONTROLLER_KEY_DIRECTIONAL_RIGHT = 27,
    CONTROLLER_KEY_SLOTS = 28,
};

// The runtime's name of a reported slot ("up", "directional_left"); NULL for a slot the host
// never reports.
const char *controller_key_name(int slot);

// A key slot's state between steps. A step reports every slot that is not idle and moves a
// pressed slot on to held and a released one to idle.
enum controller_key_state : uint32_t {
    CONTROLLER_KEY_IDLE = 0,
    CONTROLLER_KEY_PRESSED = 1,  // went down: reported with controller_key_down
    CONTROLLER_KEY_HELD = 2,     // reported with controller_key_held every step
    CONTROLLER_KEY_RELEASED = 3, // went up: reported with controller_key_up
};

// A stick axis or a trigger counts as pressed past this, either way.
#define CONTROLLER_STICK_THRESHOLD 20000

// The runtime's callbacks for the eight stick axes, each called every step with the axis's
// value: player 1's left x, left y, right x, right y, then player 2's.
#define CONTROLLER_ANALOG_CALLBACKS 8
extern const char *const controller_analog_callbacks[CONTROLLER_ANALOG_CALLBACKS];

struct controller_slots {
    SDL_GameController *player[2];
    // Per player, the buttons (bit 1 << SDL_GameControllerButton) that went down since the
    // last poll: a press and release between two polls still counts as pressed once.
    uint32_t buttons_went_down[2];
};

// The slot rule: a newly opened controller takes the first free slot; one that already has a
// slot keeps only that one, and a third is closed again.
void controller_slots_open(controller_slots *slots, int device_index);
// Empties the slot of the controller whose joystick went away, closing it.
void controller_slots_remove(controller_slots *slots, SDL_JoystickID instance);
// Notes a button that went down on the controller of a slot; other joysticks are ignored.
void controller_slots_note_button_down(controller_slots *slots, SDL_JoystickID instance, int button);
void controller_slots_close(controller_slots *slots);
// Closes a raw joystick the host opened to report it; never the joystick of a game controller.
void controller_close_raw_joystick(SDL_JoystickID instance);
