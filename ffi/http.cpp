// HTTP over a run-time-loaded libcurl, and the FFI::Misc methods that start requests.
// First version: nothing to pump or stop yet.
#include "ffi/ffi.h"

void http_tick(void) {}
void http_quit(void) {}

// First versions of the HTTP methods: no request is made. Headers and form fields are
// Arrays or nil ("A!": the Array itself; "a" would be its element pointer and length).
static mrb_value ffi_misc_http_get(mrb_state *mrb, mrb_value self)
{
    mrb_value callbacks, headers;
    const char *url;
    mrb_get_args(mrb, "ozA!", &callbacks, &url, &headers);
    return mrb_nil_value();
}

static mrb_value ffi_misc_http_head(mrb_state *mrb, mrb_value self)
{
    mrb_value callbacks, headers;
    const char *url;
    mrb_get_args(mrb, "ozA!", &callbacks, &url, &headers);
    return mrb_nil_value();
}

static mrb_value ffi_misc_http_post(mrb_state *mrb, mrb_value self)
{
    mrb_value callbacks, headers, fields;
    const char *url;
    mrb_get_args(mrb, "ozA!A!", &callbacks, &url, &headers, &fields);
    return mrb_nil_value();
}

void ffi_http_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "http_get", ffi_misc_http_get, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "http_head", ffi_misc_http_head, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "http_post", ffi_misc_http_post, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "http_put", ffi_misc_http_post, MRB_ARGS_ANY());
}
