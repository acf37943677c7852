// FFI::Misc: XML and JSON, the window, the clipboard, controller mapping,
// HTTP, native extensions and the local address. First versions: the methods whose own
// work comes later read their arguments as they will and answer what their failure case
// answers (nil, an empty String, a zero size), so callers already get the final shapes.
#include "ffi/ffi.h"
#include "render/render.h"

#include <mruby/array.h>
#include <mruby/string.h>

static mrb_value float_pair(mrb_state *mrb, double a, double b)
{
    mrb_value pair = mrb_ary_new_capa(mrb, 2);
    mrb_ary_push(mrb, pair, mrb_float_value(mrb, a));
    mrb_ary_push(mrb, pair, mrb_float_value(mrb, b));
    return pair;
}

// First version: the clipboard is read once it can be reached from this thread; until
// then the answer is the no-text answer.
static mrb_value ffi_misc_getclipboard(mrb_state *mrb, mrb_value self) { return mrb_str_new_lit(mrb, ""); }

// First versions of the controller-mapping methods: nothing is opened, closed or saved.
static mrb_value ffi_misc_close_raw_joystick(mrb_state *mrb, mrb_value self)
{
    mrb_int id;
    mrb_get_args(mrb, "i", &id);
    return mrb_nil_value();
}

static mrb_value ffi_misc_add_controller_config(mrb_state *mrb, mrb_value self)
{
    const char *mapping;
    mrb_get_args(mrb, "z", &mapping);
    return mrb_nil_value();
}

static mrb_value ffi_misc_convert_rawjoystick_to_controller(mrb_state *mrb, mrb_value self)
{
    mrb_int id;
    mrb_get_args(mrb, "i", &id);
    return mrb_nil_value();
}

// First versions of the parsers: nil, the answer for text that does not parse.
static mrb_value ffi_misc_parse_xml_file(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_bool strip;
    mrb_get_args(mrb, "zb", &path, &strip);
    return mrb_nil_value();
}

static mrb_value ffi_misc_parse_xml(mrb_state *mrb, mrb_value self)
{
    const char *text;
    mrb_int length;
    mrb_bool strip;
    mrb_get_args(mrb, "sb", &text, &length, &strip);
    return mrb_nil_value();
}

static mrb_value ffi_misc_parse_json_file(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    return mrb_nil_value();
}

static mrb_value ffi_misc_parse_json(mrb_state *mrb, mrb_value self)
{
    const char *text;
    mrb_get_args(mrb, "z", &text);
    return mrb_nil_value();
}

// First version: the title is applied once window calls are handed to the render thread.
static mrb_value ffi_misc_set_window_title(mrb_state *mrb, mrb_value self)
{
    const char *title;
    mrb_get_args(mrb, "z", &title);
    return mrb_nil_value();
}

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

// First version: no extension is loaded (nil is its answer whatever happens).
static mrb_value ffi_misc_zoq_dlopen(mrb_state *mrb, mrb_value self)
{
    const char *name;
    mrb_get_args(mrb, "z", &name);
    return mrb_nil_value();
}

// First version: nil, the answer when no suitable address exists.
static mrb_value ffi_misc_get_local_ip_address(mrb_state *mrb, mrb_value self) { return mrb_nil_value(); }

// The window's size as recorded when it was made; a host without a window has none.
static mrb_value ffi_misc_device_size(mrb_state *mrb, mrb_value self)
{
    render_context *render = ffi_render_context;
    if (!render) return float_pair(mrb, 0.0, 0.0);
    return float_pair(mrb, (double)render->window_width, (double)render->window_height);
}

void ffi_misc_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "getclipboard", ffi_misc_getclipboard, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "close_raw_joystick", ffi_misc_close_raw_joystick, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "add_controller_config", ffi_misc_add_controller_config, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "convert_rawjoystick_to_controller", ffi_misc_convert_rawjoystick_to_controller,
                      MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "parse_xml_file", ffi_misc_parse_xml_file, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "parse_xml", ffi_misc_parse_xml, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "parse_json_file", ffi_misc_parse_json_file, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "parse_json", ffi_misc_parse_json, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "set_window_title", ffi_misc_set_window_title, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "http_get", ffi_misc_http_get, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "http_head", ffi_misc_http_head, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "http_post", ffi_misc_http_post, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "http_put", ffi_misc_http_post, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "zoq_dlopen", ffi_misc_zoq_dlopen, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "get_local_ip_address", ffi_misc_get_local_ip_address, MRB_ARGS_ANY());
    mrb_define_method(mrb, misc, "device_size", ffi_misc_device_size, MRB_ARGS_ANY());
}
