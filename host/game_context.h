// game_context: the game side's one native record (controller state, the interpreter,
// the runtime object, module FFI, window options, directories).
#pragma once
#include <mruby.h>
#include <stdint.h>

struct thread_channel;

#define CONTROLLER_KEY_SLOTS 28
#define CONTROLLER_QUIT_SLOT 5

struct game_context {
    uint32_t p1_controller_key_states[CONTROLLER_KEY_SLOTS];
    int32_t p1_analog_sticks[4];
    int32_t p2_analog_sticks[4];
    uint32_t p2_controller_key_states[CONTROLLER_KEY_SLOTS];
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
};

extern game_context game_ctx;
