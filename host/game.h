// game: the game side's one native record, start-up and shutdown of the process, the
// simulation thread with its per-frame step, and input dispatch to the runtime object.
#pragma once
#include <SDL.h>
#include <mruby.h>
#include <stdint.h>

#include "host/threadstream.h"

struct render_context;

#define CONTROLLER_KEY_SLOTS 28
#define CONTROLLER_QUIT_SLOT 5

struct game_context {
    uint32_t p1_controller_key_states[CONTROLLER_KEY_SLOTS];
    int32_t p1_analog_sticks[4];
    int32_t p2_analog_sticks[4];
    uint32_t p2_controller_key_states[CONTROLLER_KEY_SLOTS];
    mrb_state *interpreter;
    mrb_value plain_object;
    mrb_value runtime;
    RClass *ffi_module;
    RClass *ffi_file_class;
    RClass *ffi_misc_class;
    RClass *ffi_mrb_class;
    RClass *ffi_draw_class;
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
};

#define GAME_ARGV_BYTES 255

extern game_context game_ctx;
extern render_context *render_ctx;
extern threadstream *current_frame_stream;
extern SDL_atomic_t quit_flag;
extern SDL_GameController *controller_slots[2];

// Start-up and shutdown (main thread).
void main_startup(int argc, char **argv);
[[noreturn]] void main_render_loop(void);
[[noreturn]] void startup_fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
void crash_signal_handler(int signal);
void engine_shutdown(void);
void *physfs_sdl_malloc(unsigned long long size);
void *physfs_sdl_realloc(void *pointer, unsigned long long size);
void physfs_sdl_free(void *pointer);

// Opens the interpreter and runs the embedded framework; 0 with a message in SDL's error
// when the framework raised or did not define TopLevelView.
int game_open_interpreter(game_context *context);
// The joined command line: at most 254 characters and NUL padding to 255 bytes.
void game_join_argv(int argc, char **argv, char out[GAME_ARGV_BYTES]);
void game_logical_size(int32_t w, int32_t h, int32_t *logical_w, int32_t *logical_h);
void game_pre_init(game_context *context, int argc, char **argv);
void game_init(game_context *context, int argc, char **argv);
void game_tick(game_context *context);

// Simulation thread and its per-frame step.
int simulation_thread_main(void *unused);
int simulation_tick(void);
// Loads the runtime's queued Ruby files; answers how many the list held.
mrb_int simulation_load_queued_files(game_context *context);
// Writes the passes block of the frame (and the screenshot requests).
void simulation_build_frame(game_context *context);

// Input (simulation thread).
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
