// FFI::CPtr: a native pointer that Ruby code only carries around and hands back to the
// host (the audio sources of args.audio). The object never owns what it points at.
#include "ffi/ffi.h"

#include <mruby/class.h>
#include <mruby/data.h>

static void ffi_cptr_free(mrb_state *mrb, void *pointer) {}

static const mrb_data_type cptr_data_type = {"CPtr", ffi_cptr_free};
static RClass *cptr_class;

mrb_value ffi_cptr_new(mrb_state *mrb, void *pointer)
{
    mrb_value object = mrb_funcall(mrb, mrb_obj_value(cptr_class), "new", 0);
    if (mrb->exc) return mrb_nil_value();
    // A redefined `new` could hand back anything: only a data object can carry the pointer.
    if (mrb_type(object) != MRB_TT_DATA) return mrb_nil_value();
    mrb_data_init(object, pointer, &cptr_data_type);
    return object;
}

void *ffi_cptr_get(mrb_value value)
{
    if (mrb_type(value) != MRB_TT_DATA || DATA_TYPE(value) != &cptr_data_type) return nullptr;
    return DATA_PTR(value);
}

// Reads no arguments, so FFI::CPtr.new(1, 2) is a null pointer like FFI::CPtr.new.
static mrb_value ffi_cptr_initialize(mrb_state *mrb, mrb_value self)
{
    if (mrb_type(self) != MRB_TT_DATA) mrb_raise(mrb, E_TYPE_ERROR, "CPtr#initialize needs a CPtr");
    mrb_data_init(self, nullptr, &cptr_data_type);
    return self;
}

void ffi_cptr_define(mrb_state *mrb, RClass *cptr)
{
    cptr_class = cptr;
    MRB_SET_INSTANCE_TT(cptr, MRB_TT_DATA);
    // Takes and ignores any arguments (see above): NONE would make the interpreter refuse them.
    mrb_define_method(mrb, cptr, "initialize", ffi_cptr_initialize, MRB_ARGS_ANY());
}
