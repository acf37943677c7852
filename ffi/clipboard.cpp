// FFI::Misc: the system clipboard.
#include "base/channel.h"
#include "base/game_context.h"
#include "ffi/ffi.h"

#include <mruby/string.h>

// The clipboard's text as a new String; "" when there is none. The window belongs to the
// render thread, so the channel reads it there.
static mrb_value ffi_misc_getclipboard(mrb_state *mrb, mrb_value self)
{
    mrb_get_args(mrb, "");
    thread_channel *channel = ffi_game_context ? ffi_game_context->channel : nullptr;
    char *text = thread_channel_clipboard_text(channel);
    mrb_value copy = mrb_str_new(mrb, text, SDL_strlen(text));
    SDL_free(text);
    return copy;
}

void ffi_clipboard_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "getclipboard", ffi_misc_getclipboard, MRB_ARGS_NONE());
}
