// Module FFI: the registration of every natively implemented class the framework talks
// to, and Array#value.
#include "ffi/ffi.h"
#include "base/game_context.h"

#include <mruby/array.h>
#include <mruby/class.h>

game_context *ffi_game_context;
render_context *ffi_render_context;

static mrb_value ffi_array_value(mrb_state *mrb, mrb_value self)
{
    mrb_int index;
    mrb_get_args(mrb, "i", &index);
    // Negative indices count from the end; anything outside answers nil.
    return mrb_ary_entry(self, index);
}

void ffi_init(game_context *context, render_context *render)
{
    mrb_state *mrb = context->interpreter;
    // The framework opens module FFI (and FFI::Draw) while it loads: these reopen them.
    RClass *ffi = mrb_define_module(mrb, "FFI");
    context->ffi_module = ffi;
    ffi_render_context = render;
    ffi_game_context = context;

    ffi_file_define(mrb, mrb_define_class_under(mrb, ffi, "File", mrb->object_class));
    ffi_misc_define(mrb, mrb_define_class_under(mrb, ffi, "Misc", mrb->object_class));
    ffi_mrb_define(mrb, mrb_define_class_under(mrb, ffi, "MRB", mrb->object_class));
    ffi_cptr_define(mrb, mrb_define_class_under(mrb, ffi, "CPtr", mrb->object_class));

    mrb_define_method(mrb, mrb->array_class, "value", ffi_array_value, MRB_ARGS_REQ(1));
}
