// game_context: the game side's one native record (controller state, the interpreter, the
// runtime object, module FFI, window options, directories, the frame being drawn). Made by
// start-up on the main thread; the simulation thread alone uses it once it runs.
#pragma once
#include <mruby.h>
#include <stdint.h>

#include "base/controllers.h"
#include "base/fps.h"
#include "base/threadstream.h"

struct thread_channel;

struct game_context {
    uint32_t p1_controller_key_states[CONTROLLER_KEY_SLOTS]; // controller_key_state values
    int32_t p1_analog_sticks[4];
    int32_t p2_analog_sticks[4];
    uint32_t p2_controller_key_states[CONTROLLER_KEY_SLOTS];
    controller_slots controllers; // the two players' game controllers
    mrb_state *interpreter;
    mrb_value runtime;
    RClass *ffi_module;
    int32_t argv_window_width;
    int32_t argv_window_height;
    int32_t argv_window_position_x;
    int32_t argv_window_position_y;
    int32_t logical_width;
    int32_t logical_height;
    mrb_value argv;
    mrb_value argv0;
    char *game_dir;
    char *base_dir;
    thread_channel *channel; // the queues to and from the render thread (not owned)
    // The frame being drawn: set for each simulation step and while the runtime object is
    // made, null otherwise (FFI::Draw and pixel uploads then write nothing).
    threadstream *current_frame_stream;
    fps_state simulation_fps; // the rate at which steps run, reported to the runtime
};
