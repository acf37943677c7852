// simulation: the 60 Hz simulation thread, paced by the performance counter, and its
// per-frame step in its order: queued files, rates, input, the tick, the frame, audio, HTTP.
#pragma once
#include <mruby.h>

#include "base/game_context.h"

// Thread entry; data is the game_context, whose channel it shares with the render thread.
int simulation_thread_main(void *data);
// One step: 0 when the simulation should end.
int simulation_tick(game_context *context);
// Queues the frame being drawn for the render thread (one whose stream overflowed is dropped:
// the render thread draws its previous frame again) and detaches it.
void simulation_queue_frame(game_context *context);
// Loads the runtime's queued Ruby files; answers how many the list held.
mrb_int simulation_load_queued_files(game_context *context);
// Writes the passes block of the frame (and the screenshot requests).
void simulation_build_frame(game_context *context);
