// FFI::Misc's HTTP methods. Each starts a transfer and answers its result Hash, which the
// request's callbacks keep up to date before calling the callbacks object given (the
// runtime's HTTPCallbacks) by name.
#include "base/ruby.h"
#include "ffi/ffi.h"
#include "services/http_client.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/error.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <string.h>

struct ruby_request {
    http_request request; // first, so the client's record is this one
    mrb_state *mrb;
    mrb_value result;   // both kept from the collector by registration while the transfer runs:
    mrb_value receiver; // a direct FFI::Misc caller may drop every reference of its own
};

static ruby_request *ruby_request_of(http_request *r) { return (ruby_request *)r->user; }

static void result_set(mrb_state *mrb, mrb_value result, const char *key, mrb_value value)
{
    mrb_hash_set(mrb, result, mrb_symbol_value(mrb_intern_cstr(mrb, key)), value);
}

static mrb_value count_value(mrb_state *mrb, uint64_t n)
{
    return mrb_int_value(mrb, n > (uint64_t)MRB_INT_MAX ? MRB_INT_MAX : (mrb_int)n);
}

static mrb_value bytes_value(mrb_state *mrb, const char *bytes, size_t length)
{
    return bytes ? mrb_str_new(mrb, bytes, (mrb_int)length) : mrb_nil_value();
}

static void write_result(mrb_state *mrb, mrb_value result, const http_request *r)
{
    result_set(mrb, result, "complete", mrb_bool_value(r->complete != 0));
    result_set(mrb, result, "http_response_code", mrb_int_value(mrb, r->http_response_code));
    result_set(mrb, result, "request_written", count_value(mrb, r->request_written));
    result_set(mrb, result, "request_total", count_value(mrb, r->request_total));
    result_set(mrb, result, "response_read", count_value(mrb, r->response_read));
    result_set(mrb, result, "response_total", count_value(mrb, r->response_total));
    result_set(mrb, result, "key", bytes_value(mrb, r->key, r->key_length));
    result_set(mrb, result, "value", bytes_value(mrb, r->value, r->value_length));
}

// Copies the request's state into its Hash (raises when the game froze the Hash).
static mrb_value update_result(mrb_state *mrb, void *data)
{
    http_request *r = (http_request *)data;
    write_result(mrb, ruby_request_of(r)->result, r);
    return mrb_nil_value();
}

struct receiver_call {
    http_request *request;
    const char *method;
    int update; // copy the state into the Hash first
};

static mrb_value call_receiver_body(mrb_state *mrb, void *data)
{
    receiver_call *call = (receiver_call *)data;
    if (call->update) update_result(mrb, call->request);
    mrb_value receiver = ruby_request_of(call->request)->receiver;
    return mrb_funcall_argv(mrb, receiver, mrb_intern_cstr(mrb, call->method), 0, nullptr);
}

// Runs Ruby work protected: a raise is logged and cleared here, so it can neither jump
// through libcurl's frames nor fail the next call into Ruby. -1 when it raised.
static int run_protected(mrb_state *mrb, mrb_protect_error_func *body, void *data)
{
    int ai = mrb_gc_arena_save(mrb);
    mrb_bool failed = FALSE;
    mrb_value answer = mrb_protect_error(mrb, body, data, &failed);
    int outcome = mrb_test(answer) ? 1 : 0;
    if (failed) {
        // The protected call hands the exception back cleared: pend it again for the logger.
        if (mrb_type(answer) == MRB_TT_EXCEPTION) mrb->exc = mrb_obj_ptr(answer);
        ruby_log_exception(mrb);
        outcome = -1;
    }
    mrb_gc_arena_restore(mrb, ai);
    return outcome;
}

static int call_receiver(http_request *r, const char *method, int update)
{
    receiver_call call = {r, method, update};
    return run_protected(ruby_request_of(r)->mrb, call_receiver_body, &call);
}

// A header that raised is logged and the transfer goes on: the body is still whole.
static int on_header(http_request *r) { return call_receiver(r, "http_response_header", 1) != 0; }

// A chunk that raised is lost, so the transfer ends as failed rather than complete.
static int on_data(http_request *r) { return call_receiver(r, "http_response_data", 1) == 1; }

static mrb_value cancel_body(mrb_state *mrb, void *data)
{
    mrb_value result = ruby_request_of((http_request *)data)->result;
    return mrb_hash_fetch(mrb, result, mrb_symbol_value(mrb_intern_lit(mrb, "cancel")), mrb_nil_value());
}

// The game's :cancel also stops a transfer whose server has gone quiet.
static int on_progress(http_request *r) { return run_protected(ruby_request_of(r)->mrb, cancel_body, r) == 0; }

static mrb_value unregister_body(mrb_state *mrb, void *data)
{
    ruby_request *rr = (ruby_request *)data;
    mrb_gc_unregister(mrb, rr->result);
    mrb_gc_unregister(mrb, rr->receiver);
    return mrb_nil_value();
}

static void on_release(http_request *r)
{
    ruby_request *rr = ruby_request_of(r);
    run_protected(rr->mrb, unregister_body, rr);
    SDL_free(rr);
}

static void on_done(http_request *r)
{
    ruby_request *rr = ruby_request_of(r);
    // http_done runs even when the Hash refused the final state.
    run_protected(rr->mrb, update_result, r);
    call_receiver(r, "http_done", 0);
    on_release(r);
}

// Raises, as the interpreter's own conversions do, unless every element is a String without
// NUL (and, for header lines, without CR or LF: a line must not smuggle in another). Answers
// the bytes that copies of them need.
static size_t check_strings(mrb_state *mrb, mrb_value list, int header_lines)
{
    if (mrb_nil_p(list)) return 0;
    size_t bytes = 0;
    for (mrb_int i = 0; i < RARRAY_LEN(list); i++) {
        mrb_value s = mrb_ensure_string_type(mrb, RARRAY_PTR(list)[i]);
        size_t length = (size_t)RSTRING_LEN(s);
        if (memchr(RSTRING_PTR(s), 0, length)) mrb_raise(mrb, E_ARGUMENT_ERROR, "string contains null byte");
        if (header_lines && (memchr(RSTRING_PTR(s), '\r', length) || memchr(RSTRING_PTR(s), '\n', length)))
            mrb_raise(mrb, E_ARGUMENT_ERROR, "header line contains CR or LF");
        bytes += length + 1;
    }
    return bytes;
}

// A null-terminated array of NUL-terminated copies in one SDL block (the caller frees), for
// a list that check_strings accepted; null when there is no list or no memory.
static char **copy_strings(mrb_value list, size_t bytes)
{
    if (mrb_nil_p(list)) return nullptr;
    size_t count = (size_t)RARRAY_LEN(list);
    char **strings = (char **)SDL_malloc((count + 1) * sizeof(char *) + bytes);
    if (!strings) return nullptr;
    char *at = (char *)(strings + count + 1);
    for (size_t i = 0; i < count; i++) {
        mrb_value s = RARRAY_PTR(list)[i];
        size_t length = (size_t)RSTRING_LEN(s);
        memcpy(at, RSTRING_PTR(s), length);
        at[length] = 0;
        strings[i] = at;
        at += length + 1;
    }
    strings[count] = nullptr;
    return strings;
}

// Starts one transfer for an FFI::Misc method: its result Hash, or nil when it did not start.
// form is an Array or nil; an upload's path comes as a one-element list.
static mrb_value start_request(mrb_state *mrb, mrb_value receiver, const char *url, mrb_value headers,
                               uint32_t method, mrb_value form)
{
    // Everything that can raise comes before any native allocation.
    size_t header_bytes = check_strings(mrb, headers, 1);
    size_t form_bytes = check_strings(mrb, form, 0);
    mrb_value result = mrb_hash_new(mrb);
    const http_request not_started = {};
    write_result(mrb, result, &not_started);
    mrb_gc_register(mrb, result);
    mrb_gc_register(mrb, receiver);

    ruby_request *rr = (ruby_request *)SDL_calloc(1, sizeof *rr);
    char **header_lines = copy_strings(headers, header_bytes);
    char **fields = copy_strings(form, form_bytes);
    int started = 0;
    if (rr && (mrb_nil_p(headers) || header_lines) && (mrb_nil_p(form) || fields)) {
        rr->mrb = mrb;
        rr->result = result;
        rr->receiver = receiver;
        http_request *r = &rr->request;
        r->user = rr;
        r->on_header = on_header;
        r->on_data = on_data;
        r->on_progress = on_progress;
        r->on_done = on_done;
        r->on_release = on_release;
        int upload = method == HTTP_METHOD_PUT;
        started = http_start(r, method, url, header_lines, upload ? nullptr : fields,
                             upload && fields ? fields[0] : nullptr);
    }
    SDL_free(header_lines);
    SDL_free(fields);
    if (started) return result;
    SDL_free(rr);
    mrb_gc_unregister(mrb, result);
    mrb_gc_unregister(mrb, receiver);
    return mrb_nil_value();
}

static mrb_value ffi_misc_http_get(mrb_state *mrb, mrb_value self)
{
    mrb_value callbacks, headers;
    const char *url;
    mrb_get_args(mrb, "ozA!", &callbacks, &url, &headers);
    return start_request(mrb, callbacks, url, headers, HTTP_METHOD_GET, mrb_nil_value());
}

static mrb_value ffi_misc_http_head(mrb_state *mrb, mrb_value self)
{
    mrb_value callbacks, headers;
    const char *url;
    mrb_get_args(mrb, "ozA!", &callbacks, &url, &headers);
    return start_request(mrb, callbacks, url, headers, HTTP_METHOD_HEAD, mrb_nil_value());
}

static mrb_value ffi_misc_http_post(mrb_state *mrb, mrb_value self)
{
    mrb_value callbacks, headers, fields;
    const char *url;
    mrb_get_args(mrb, "ozA!A!", &callbacks, &url, &headers, &fields);
    return start_request(mrb, callbacks, url, headers, HTTP_METHOD_POST, fields);
}

// A String names the game file to upload with PUT; form fields (an Array or nil) are
// posted as http_post does.
static mrb_value ffi_misc_http_put(mrb_state *mrb, mrb_value self)
{
    mrb_value callbacks, headers, file;
    const char *url;
    mrb_get_args(mrb, "ozA!o", &callbacks, &url, &headers, &file);
    if (mrb_string_p(file)) {
        mrb_value path = mrb_ary_new_from_values(mrb, 1, &file);
        return start_request(mrb, callbacks, url, headers, HTTP_METHOD_PUT, path);
    }
    if (!mrb_nil_p(file) && !mrb_array_p(file))
        mrb_raisef(mrb, E_TYPE_ERROR, "wrong argument type %C (expected String or Array)", mrb_obj_class(mrb, file));
    return start_request(mrb, callbacks, url, headers, HTTP_METHOD_POST, file);
}

void ffi_http_define(mrb_state *mrb, RClass *misc)
{
    mrb_define_method(mrb, misc, "http_get", ffi_misc_http_get, MRB_ARGS_REQ(3));
    mrb_define_method(mrb, misc, "http_head", ffi_misc_http_head, MRB_ARGS_REQ(3));
    mrb_define_method(mrb, misc, "http_post", ffi_misc_http_post, MRB_ARGS_REQ(4));
    mrb_define_method(mrb, misc, "http_put", ffi_misc_http_put, MRB_ARGS_REQ(4));
}
