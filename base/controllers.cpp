#include "base/controllers.h"

const char *controller_key_name(int slot)
{
    static const char *const names[CONTROLLER_KEY_SLOTS] = {
        nullptr, "up", "down", "left", "right", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr, "start", "b", "a", "x", "y", "l1", "r1", "l3", "r3", "l2", "r2", "directional_up",
        "directional_down", "directional_left", "directional_right"};
    return slot >= 0 && slot < CONTROLLER_KEY_SLOTS ? names[slot] : nullptr;
}

const char *const controller_analog_callbacks[CONTROLLER_ANALOG_CALLBACKS] = {
    "left_analog_x_player_1", "left_analog_y_player_1", "right_analog_x_player_1", "right_analog_y_player_1",
    "left_analog_x_player_2", "left_analog_y_player_2", "right_analog_x_player_2", "right_analog_y_player_2"};

void controller_slots_open(controller_slots *slots, int device_index)
{
    SDL_GameController *controller = SDL_GameControllerOpen(device_index);
    if (!controller) return;
    // Opening a device twice hands back the same controller with one more reference.
    for (SDL_GameController *slot : slots->player) {
        if (slot == controller) {
            SDL_GameControllerClose(controller);
            return;
        }
    }
    for (SDL_GameController *&slot : slots->player) {
        if (!slot) {
            slot = controller;
            return;
        }
    }
    SDL_GameControllerClose(controller); // a third controller has no player
}

// The player index of the controller of a joystick, or -1 when no slot holds it.
static int slot_of(const controller_slots *slots, SDL_JoystickID instance)
{
    SDL_GameController *controller = SDL_GameControllerFromInstanceID(instance);
    if (!controller) return -1;
    for (int i = 0; i < 2; i++)
        if (slots->player[i] == controller) return i;
    return -1;
}

void controller_slots_remove(controller_slots *slots, SDL_JoystickID instance)
{
    int i = slot_of(slots, instance);
    if (i < 0) return;
    SDL_GameControllerClose(slots->player[i]);
    slots->player[i] = nullptr;
    slots->buttons_went_down[i] = 0;
}

void controller_slots_note_button_down(controller_slots *slots, SDL_JoystickID instance, int button)
{
    int i = slot_of(slots, instance);
    if (i >= 0 && button >= 0 && button < 32) slots->buttons_went_down[i] |= 1u << button;
}

void controller_slots_close(controller_slots *slots)
{
    for (SDL_GameController *&slot : slots->player) {
        if (slot) SDL_GameControllerClose(slot);
        slot = nullptr;
    }
    slots->buttons_went_down[0] = slots->buttons_went_down[1] = 0;
}

void controller_close_raw_joystick(SDL_JoystickID instance)
{
    // The joystick under an open game controller belongs to that controller.
    if (SDL_GameControllerFromInstanceID(instance)) return;
    SDL_Joystick *joystick = SDL_JoystickFromInstanceID(instance);
    if (joystick) SDL_JoystickClose(joystick);
}
