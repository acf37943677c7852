// FFI::Misc#zoq_dlopen: native extensions of the game, loaded by services/extension_loader,
// their entry point run with the interpreter and module FFI.
#include "base/game_context.h"
#include "ffi/extension_api.h"
#include "ffi/ffi.h"
#include "services/extension_loader.h"

#include <SDL.h>

// Loads the extension and runs its entry point; nil whatever happens. Every buffer of ours is
// freed before the entry point runs, since it may raise.
static mrb_value ffi_misc_zoq_dlopen(mrb_state *mrb, mrb_value self)
{
    const char *name;
    mrb_get_args(mrb, "z", &name);
    void *library = extension_loader_open(name, ffi_game_context ? ffi_game_context->base_dir : nullptr);
    if (!library) return mrb_nil_value();
    znt_register_function entry = (znt_register_function)SDL_LoadFunction(library, "znt_register_c_extensions");
    if (!entry) return mrb_nil_value(); // stays loaded, as it is harmless
    entry(host_symbol_lookup, mrb, mrb_module_get(mrb, "FFI"));
    return mrb_nil_value();
}

void ffi_extensions_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "zoq_dlopen", ffi_misc_zoq_dlopen, MRB_ARGS_REQ(1));
}
