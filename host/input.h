// input: controller key transitions, the raw SDL events queued by the render thread, and
// polling of the two game-controller slots, all reported to the runtime object.
#pragma once
#include <SDL.h>

#include "base/game_context.h"
#include "base/threadstream.h"

void input_report_controller_keys(game_context *context, int player);
void input_dispatch_events(game_context *context);
void input_dispatch_event_stream(game_context *context, threadstream *stream);
void poll_controller_player(game_context *context, int player);
void input_report_analog(game_context *context);
