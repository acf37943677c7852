// ffi: module FFI and its natively implemented classes (File, Misc, MRB, CPtr, Draw) and
// Array#value, through which the framework reaches the host.
#pragma once
#include "base/game_context.h"

#include <mruby.h>
#include <stddef.h>

struct render_context;

// Registers module FFI, its classes and Array#value. Runs once, on the main thread at
// start-up. render may be null (no window): methods that need it then answer gracefully.
void ffi_init(game_context *context, render_context *render);

// A new FFI::CPtr wrapping pointer (never owned). Sends `new` to FFI::CPtr; answers nil
// (with the exception pending) when that raised. Exported under this name for extensions.
extern "C" mrb_value ffi_cptr_new(mrb_state *mrb, void *pointer);
// The pointer an FFI::CPtr carries; NULL for anything else.
void *ffi_cptr_get(mrb_value value);

// Set by ffi_init and never changed: native methods get only the interpreter and their
// receiver, so this is how they find the directories, the window and the font cache.
extern game_context *ffi_game_context;
extern render_context *ffi_render_context;

// The frame FFI::Draw and native pixel uploads write into; null outside a step.
static inline threadstream *ffi_frame_stream(void)
{
    return ffi_game_context ? ffi_game_context->current_frame_stream : nullptr;
}

// Defines FFI::Draw under the FFI module; answers the class.
RClass *draw_define_class(mrb_state *mrb, RClass *ffi_module);

// FFI::Draw#draw_sprite_3's arguments in order, which are also the elements of an Array
// marked as a sprite, by position; draw_sprite and draw_sprite_2 take the first five and
// seven. The runtime reads this list as ZOQ::Host::SPRITE_ARGUMENTS.
#define FFI_SPRITE_ARGUMENTS(X)                                                                                  \
    X(SPRITE_ARG_X, x) X(SPRITE_ARG_Y, y) X(SPRITE_ARG_W, w) X(SPRITE_ARG_H, h) X(SPRITE_ARG_PATH, path)         \
    X(SPRITE_ARG_ANGLE, angle) X(SPRITE_ARG_A, a) X(SPRITE_ARG_R, r) X(SPRITE_ARG_G, g) X(SPRITE_ARG_B, b)       \
    X(SPRITE_ARG_TILE_X, tile_x) X(SPRITE_ARG_TILE_Y, tile_y) X(SPRITE_ARG_TILE_W, tile_w)                       \
    X(SPRITE_ARG_TILE_H, tile_h) X(SPRITE_ARG_FLIP_HORIZONTALLY, flip_horizontally)                             \
    X(SPRITE_ARG_FLIP_VERTICALLY, flip_vertically) X(SPRITE_ARG_ANGLE_ANCHOR_X, angle_anchor_x)                  \
    X(SPRITE_ARG_ANGLE_ANCHOR_Y, angle_anchor_y) X(SPRITE_ARG_SOURCE_X, source_x)                                \
    X(SPRITE_ARG_SOURCE_Y, source_y) X(SPRITE_ARG_SOURCE_W, source_w) X(SPRITE_ARG_SOURCE_H, source_h)

enum ffi_sprite_argument : int {
#define FFI_SPRITE_ARGUMENT_INDEX(index, name) index,
    FFI_SPRITE_ARGUMENTS(FFI_SPRITE_ARGUMENT_INDEX)
#undef FFI_SPRITE_ARGUMENT_INDEX
    SPRITE_ARGUMENT_COUNT
};

// The argument's name ("tile_x"), which is also a sprite Hash's key for it.
const char *ffi_sprite_argument_name(int index);

// One per class, each kept at the end of its own file; called by ffi_init in this order.
void ffi_file_define(mrb_state *mrb, RClass *file);
void ffi_misc_define(mrb_state *mrb, RClass *misc);
void ffi_mrb_define(mrb_state *mrb, RClass *mrb_class);
void ffi_cptr_define(mrb_state *mrb, RClass *cptr);

// FFI::Misc's services, one file each; called by ffi_misc_define.
void ffi_text_define(mrb_state *mrb, RClass *misc);
void ffi_xml_define(mrb_state *mrb, RClass *misc);
void ffi_json_define(mrb_state *mrb, RClass *misc);
void ffi_window_define(mrb_state *mrb, RClass *misc);
void ffi_clipboard_define(mrb_state *mrb, RClass *misc);
void ffi_controller_define(mrb_state *mrb, RClass *misc);
void ffi_http_define(mrb_state *mrb, RClass *misc);
void ffi_extensions_define(mrb_state *mrb, RClass *misc);
void ffi_address_define(mrb_state *mrb, RClass *misc);
