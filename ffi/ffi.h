// ffi: module FFI and its natively implemented classes (File, Misc, MRB, CPtr), through
// which the framework reaches the host; and the HTTP pump. First version: the module and
// classes with the file methods the runtime needs at start.
#pragma once
#include <mruby.h>

struct game_context;
struct render_context;

void ffi_init(game_context *context, render_context *render);
void http_tick(void);
void http_quit(void);
