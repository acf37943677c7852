// http_client: HTTP transfers over a libcurl loaded at run time (never linked), all pumped
// once per simulation step. Everything here runs on the simulation thread, except
// http_quit, which shutdown calls on the main thread once that thread has ended.
#pragma once
#include <physfs.h>
#include <stddef.h>
#include <stdint.h>

struct curl_slist;
struct curl_httppost;

enum http_method : uint32_t {
    HTTP_METHOD_GET = 0,
    HTTP_METHOD_POST = 1, // a multipart form, or an empty urlencoded body without fields
    HTTP_METHOD_PUT = 2,  // uploads a game file
    HTTP_METHOD_HEAD = 3,
};

// One transfer. The caller allocates it zero-filled, sets user and the callbacks, and owns it
// again once on_done or on_release has been called.
struct http_request {
    void *user;
    // Each response header line, with key and value set; 0 aborts the transfer.
    int (*on_header)(http_request *request);
    // Each chunk of the body, in value; 0 aborts the transfer.
    int (*on_data)(http_request *request);
    // Now and then while the transfer runs, with nothing set; 0 aborts the transfer.
    int (*on_progress)(http_request *request);
    // Once, when the transfer has ended either way; the record is the caller's again.
    void (*on_done)(http_request *request);
    // Instead of on_done when the client shuts down with the transfer still running.
    void (*on_release)(http_request *request);

    uint32_t complete;          // 1 once ended
    int32_t http_response_code; // 0 until known, then the status; -1 when the transfer failed
    uint64_t request_written, request_total, response_read, response_total; // totals 0 when unknown
    const char *key;   // during on_header: the header's name
    size_t key_length;
    const char *value; // during on_header: the header's value; during on_data: the chunk
    size_t value_length;

    // The client's own from here on.
    uint32_t http_method;
    PHYSFS_File *upload_file;
    void *easy;
    curl_slist *header_list;
    curl_httppost *form;
    uint32_t in_multi; // added to the multi handle (0: waiting for the pump to return)
    http_request *previous, *next; // the client's list of running transfers
};

// Starts a transfer: 1 started, 0 not (no callback will come; on a bad set-up complete is 1
// and the code -1). headers: null-terminated whole header lines, or null. form (POST):
// null-terminated alternating names and values, or null. upload_path (PUT): a game file.
// Strings are copied before this returns. Header lines holding CR or LF are the caller's to
// refuse.
int http_start(http_request *request, uint32_t method, const char *url, const char *const *headers,
               const char *const *form, const char *upload_path);
// One non-blocking pump of every transfer; the callbacks run inside it.
void http_tick(void);
// Releases every transfer (on_release, no on_done) and the client; libcurl stays loaded.
void http_quit(void);
