// game: the interpreter with its embedded framework, the window geometry asked of the
// runtime, construction of the runtime object and the host's per-step call into it.
#pragma once
#include "base/game_context.h"

#define GAME_ARGV_BYTES 255

// The window a game gets when its command line names no size, which is also the canvas of a
// phone-sized window held sideways (the runtime reads the same numbers from ZOQ::Host).
#define GAME_DEFAULT_WIDTH 1280
#define GAME_DEFAULT_HEIGHT 720

// Opens the interpreter, gives it the host's tables (ZOQ::Host) and runs the embedded
// framework; 0 with a message in SDL's error when the framework raised or did not define
// TopLevelView.
int game_open_interpreter(game_context *context);
// The joined command line: at most 254 characters and NUL padding to 255 bytes.
void game_join_argv(int argc, char **argv, char out[GAME_ARGV_BYTES]);
void game_logical_size(int32_t w, int32_t h, int32_t *logical_w, int32_t *logical_h);
void game_pre_init(game_context *context, int argc, char **argv);
void game_init(game_context *context, int argc, char **argv);
void game_tick(game_context *context);
