/* An extension whose entry point raises: the exception surfaces in the caller. */
#include <mruby.h>

#include "ffi/extension_api.h"

void znt_register_c_extensions(znt_host_lookup lookup, mrb_state *mrb, struct RClass *ffi)
{
    void (*raise)(mrb_state *, struct RClass *, const char *);
    struct RClass *(*exc_get)(mrb_state *, const char *);
    *(void **)&raise = lookup("mrb_raise");
    *(void **)&exc_get = lookup("mrb_exc_get");
    raise(mrb, exc_get(mrb, "RuntimeError"), "extension refused to start");
}
