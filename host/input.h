// input: controller key transitions, the raw SDL events queued by the render thread, and
// polling of the two game-controller slots, all reported to the runtime object.
#pragma once
#include <SDL.h>

#include "host/game_context.h"
#include "host/threadstream.h"

extern SDL_GameController *controller_slots[2];

void input_report_controller_keys(game_context *context, int player);
void input_dispatch_events(game_context *context);
void input_dispatch_event_stream(game_context *context, threadstream *stream);
void poll_controller_player(game_context *context, int player);
void input_report_analog(game_context *context);
void input_close_controllers(void);
// The slot rule: a newly opened controller takes the first free player slot; a third is closed.
void input_open_game_controller(int device_index);
// Closes a raw joystick the host opened to report it; never the joystick of a game controller.
void input_close_raw_joystick(SDL_JoystickID instance);
