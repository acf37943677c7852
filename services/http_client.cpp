// The HTTP client: one multi handle pumped once per step, one share handle (cookies, name
// look-ups, TLS sessions), one easy handle per transfer. libcurl's header gives the types and
// constants only; the functions come from the library found at run time.
#include "services/http_client.h"
#include "base/files.h"
#include "base/metadata.h"

#include <SDL.h>
// Plain prototypes (no type-checking macros in the way of calls through the table), and no
// warnings for the form interface and protocol masks, which older libcurls still need.
#define CURL_DISABLE_TYPECHECK
#define CURL_DISABLE_DEPRECATION
#include <curl/curl.h>
#include <string.h>

// The libcurl functions the client calls, looked up by name in this order.
#define CURL_FUNCTIONS(X)                                                                                             \
    X(easy_init, curl_easy_init) X(easy_cleanup, curl_easy_cleanup) X(easy_setopt, curl_easy_setopt)                  \
    X(global_init, curl_global_init) X(global_cleanup, curl_global_cleanup) X(multi_init, curl_multi_init)            \
    X(multi_cleanup, curl_multi_cleanup) X(multi_perform, curl_multi_perform)                                         \
    X(multi_info_read, curl_multi_info_read) X(multi_add_handle, curl_multi_add_handle)                               \
    X(multi_remove_handle, curl_multi_remove_handle) X(share_init, curl_share_init)                                   \
    X(share_setopt, curl_share_setopt) X(share_cleanup, curl_share_cleanup) X(version_info, curl_version_info)        \
    X(easy_strerror, curl_easy_strerror) X(easy_getinfo, curl_easy_getinfo) X(slist_free_all, curl_slist_free_all)    \
    X(slist_append, curl_slist_append) X(formadd, curl_formadd) X(formfree, curl_formfree)

struct curl_api {
#define CURL_API_FIELD(field, symbol) decltype(&::symbol) field;
    CURL_FUNCTIONS(CURL_API_FIELD)
#undef CURL_API_FIELD
};

// Players have the runtime package's name, not the -dev package's unversioned one; the
// GnuTLS build has the same interface.
static const char *const curl_library_names[] = {"libcurl.so.4", "libcurl-gnutls.so.4"};

static const long max_redirects = 20;

static struct {
    curl_api api;
    void *library;    // kept once found: unloading libcurl under its TLS library's exit hooks crashes
    int loaded;       // the client is set up
    int global_initialised;
    int protocol_strings; // the library names protocols by text (7.85 on) rather than by masks
    char *user_agent;
    CURLM *multi;
    CURLSH *share;
    int pumping;          // inside http_tick: adding to the multi handle must wait
    http_request *running; // every started transfer, newest first
} client;

static int load_library(void)
{
    for (const char *name : curl_library_names) {
        void *library = SDL_LoadObject(name);
        if (!library) continue;
        curl_api api = {};
        int complete = 1;
#define CURL_API_LOOKUP(field, symbol)                                                                                \
    if (complete) {                                                                                                   \
        void *found = SDL_LoadFunction(library, #symbol);                                                             \
        if (found) api.field = reinterpret_cast<decltype(api.field)>(found);                                          \
        else complete = 0;                                                                                            \
    }
        CURL_FUNCTIONS(CURL_API_LOOKUP)
#undef CURL_API_LOOKUP
        if (!complete) {
            SDL_UnloadObject(library);
            continue;
        }
        client.api = api;
        client.library = library;
        return 1;
    }
    return 0;
}

static void client_cleanup(void)
{
    if (client.share) client.api.share_cleanup(client.share);
    if (client.multi) client.api.multi_cleanup(client.multi);
    if (client.global_initialised) client.api.global_cleanup();
    SDL_free(client.user_agent);
    client.share = nullptr;
    client.multi = nullptr;
    client.user_agent = nullptr;
    client.global_initialised = 0;
    client.loaded = 0;
}

static int client_set_up(void)
{
    if (client.loaded) return 1;
    if (!client.library && !load_library()) return 0;
    const curl_api &api = client.api;
    const game_metadata_record *meta = game_metadata();
    const char *platform = SDL_GetPlatform();
    client.user_agent = sprintf_alloc("Zintarel-%s-%s/%s (%s)", meta->devid, meta->gameid, meta->version,
                                      platform ? platform : "");
    client.global_initialised = client.user_agent && api.global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    if (client.global_initialised) {
        client.multi = api.multi_init();
        client.share = api.share_init();
    }
    int shared = client.share && api.share_setopt(client.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) == CURLSHE_OK &&
                 api.share_setopt(client.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK &&
                 api.share_setopt(client.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK;
    if (!client.multi || !shared) {
        client_cleanup();
        return 0;
    }
    const curl_version_info_data *version = api.version_info(CURLVERSION_NOW);
    client.protocol_strings = version && version->version_num >= 0x075500;
    client.loaded = 1;
    return 1;
}

static void running_link(http_request *r)
{
    r->previous = nullptr;
    r->next = client.running;
    if (client.running) client.running->previous = r;
    client.running = r;
}

static void running_unlink(http_request *r)
{
    if (r->previous) r->previous->next = r->next;
    else if (client.running == r) client.running = r->next;
    if (r->next) r->next->previous = r->previous;
    r->previous = r->next = nullptr;
}

static void release_handles(http_request *r)
{
    const curl_api &api = client.api;
    if (r->easy) {
        if (r->in_multi && client.multi) api.multi_remove_handle(client.multi, r->easy);
        api.easy_cleanup(r->easy);
    }
    if (r->header_list) api.slist_free_all(r->header_list);
    if (r->form) api.formfree(r->form);
    if (r->upload_file) PHYSFS_close(r->upload_file);
    r->easy = nullptr;
    r->header_list = nullptr;
    r->form = nullptr;
    r->upload_file = nullptr;
    r->in_multi = 0;
}

static uint64_t count_of(curl_off_t n) { return n > 0 ? (uint64_t)n : 0; }

static size_t write_cb(char *data, size_t size, size_t count, void *user)
{
    http_request *r = (http_request *)user;
    size_t n = size * count;
    if (n == 0 || !r->on_data) return n;
    r->key = nullptr;
    r->key_length = 0;
    r->value = data;
    r->value_length = n;
    int go_on = r->on_data(r);
    r->value = nullptr;
    r->value_length = 0;
    return go_on ? n : 0;
}

static int is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

static size_t header_cb(char *data, size_t size, size_t count, void *user)
{
    http_request *r = (http_request *)user;
    size_t n = size * count;
    // From the status line on, the code of the response being read (redirects included).
    long code = 0;
    if (client.api.easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code > 0 && code <= INT32_MAX)
        r->http_response_code = (int32_t)code;
    if (n == 0) return 0;
    // Every bound below stays inside [0, n): trailing blanks go (never the first byte),
    // leading blanks go, and the name ends before the colon without its own trailing blanks.
    size_t end = n;
    while (end > 1 && is_blank(data[end - 1])) end--;
    size_t start = 0;
    while (start < end && is_blank(data[start])) start++;
    size_t name_end = end, value_start = end;
    // A status line ("HTTP/1.1 200 OK") is a name alone, whatever its reason phrase holds.
    int status_line = end - start >= 5 && memcmp(data + start, "HTTP/", 5) == 0;
    const char *colon = status_line ? nullptr : (const char *)memchr(data + start, ':', end - start);
    if (colon) {
        name_end = (size_t)(colon - data);
        while (name_end > start + 1 && is_blank(data[name_end - 1])) name_end--;
        value_start = (size_t)(colon - data) + 1;
        while (value_start < end && is_blank(data[value_start])) value_start++;
    }
    size_t name_length = name_end - start, value_length = end - value_start;
    // The blank line that ends the headers has neither.
    if (!r->on_header || (name_length == 0 && value_length == 0)) return n;
    r->key = data + start;
    r->key_length = name_length;
    r->value = data + value_start;
    r->value_length = value_length;
    int go_on = r->on_header(r);
    r->key = r->value = nullptr;
    r->key_length = r->value_length = 0;
    return go_on ? n : 0;
}

static int progress_cb(void *user, curl_off_t download_total, curl_off_t downloaded, curl_off_t upload_total,
                       curl_off_t uploaded)
{
    http_request *r = (http_request *)user;
    r->request_written = count_of(uploaded);
    r->request_total = count_of(upload_total);
    r->response_read = count_of(downloaded);
    r->response_total = count_of(download_total);
    return r->on_progress && !r->on_progress(r) ? 1 : 0;
}

static size_t read_cb(char *buffer, size_t size, size_t count, void *user)
{
    http_request *r = (http_request *)user;
    PHYSFS_sint64 got = r->upload_file ? PHYSFS_readBytes(r->upload_file, buffer, size * count) : -1;
    if (got < 0) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OK);
        return CURL_READFUNC_ABORT;
    }
    return (size_t)got;
}

// Each setopt with the exact type libcurl reads for the option; 1 when all were taken.
struct easy_options {
    CURL *easy;
    int ok;
    void integer(CURLoption option, long value) { ok &= client.api.easy_setopt(easy, option, value) == CURLE_OK; }
    void offset(CURLoption option, curl_off_t value) { ok &= client.api.easy_setopt(easy, option, value) == CURLE_OK; }
    void pointer(CURLoption option, const void *value)
    {
        ok &= client.api.easy_setopt(easy, option, value) == CURLE_OK;
    }
    template <typename F> void function(CURLoption option, F value)
    {
        ok &= client.api.easy_setopt(easy, option, value) == CURLE_OK;
    }
};

// Appends a line to the request's header list; 0 when it could not.
static int add_header(http_request *r, const char *line)
{
    curl_slist *grown = client.api.slist_append(r->header_list, line);
    if (!grown) return 0;
    r->header_list = grown;
    return 1;
}

static int build_form(http_request *r, const char *const *form)
{
    curl_httppost *last = nullptr;
    for (size_t i = 0; form[i]; i += 2) {
        // A missing value counts as empty, and also ends the fields.
        const char *value = form[i + 1] ? form[i + 1] : "";
        if (client.api.formadd(&r->form, &last, CURLFORM_COPYNAME, form[i], CURLFORM_COPYCONTENTS, value,
                               CURLFORM_END) != CURL_FORMADD_OK)
            return 0;
        if (!form[i + 1]) break;
    }
    return 1;
}

// What the method asks of the easy handle: a form or an empty body to POST, a game file to
// PUT. 0 when the body could not be set up.
static int set_method(http_request *r, easy_options &set, const char *const *form, const char *upload_path)
{
    switch (r->http_method) {
    case HTTP_METHOD_GET: set.integer(CURLOPT_HTTPGET, 1L); return 1;
    case HTTP_METHOD_POST:
        // No "100 Continue" round trip before the body.
        if (!add_header(r, "Expect:")) return 0;
        if (form && form[0]) {
            if (!build_form(r, form)) return 0;
            set.pointer(CURLOPT_HTTPPOST, r->form);
        } else {
            set.integer(CURLOPT_POST, 1L);
            set.integer(CURLOPT_POSTFIELDSIZE, 0L);
            set.pointer(CURLOPT_POSTFIELDS, "");
        }
        return 1;
    case HTTP_METHOD_PUT: {
        r->upload_file = upload_path ? files_open_regular(upload_path) : nullptr;
        if (!r->upload_file) {
            PHYSFS_setErrorCode(PHYSFS_ERR_OK);
            return 0;
        }
        set.integer(CURLOPT_UPLOAD, 1L);
        set.function(CURLOPT_READFUNCTION, read_cb);
        set.pointer(CURLOPT_READDATA, r);
        PHYSFS_sint64 length = PHYSFS_fileLength(r->upload_file);
        if (length >= 0) set.offset(CURLOPT_INFILESIZE_LARGE, (curl_off_t)length);
        return 1;
    }
    case HTTP_METHOD_HEAD: set.integer(CURLOPT_NOBODY, 1L); return 1;
    default: return 0;
    }
}

// The callbacks, and what every transfer is held to: redirects, web schemes only, verified
// certificates.
static void set_transfer_options(http_request *r, easy_options &set)
{
    set.pointer(CURLOPT_HTTPHEADER, r->header_list);
    set.function(CURLOPT_WRITEFUNCTION, write_cb);
    set.pointer(CURLOPT_WRITEDATA, r);
    set.function(CURLOPT_XFERINFOFUNCTION, progress_cb);
    set.pointer(CURLOPT_XFERINFODATA, r);
    set.integer(CURLOPT_NOPROGRESS, 0L);
    set.function(CURLOPT_HEADERFUNCTION, header_cb);
    set.pointer(CURLOPT_HEADERDATA, r);
    set.pointer(CURLOPT_USERAGENT, client.user_agent);
    set.integer(CURLOPT_FOLLOWLOCATION, 1L);
    set.integer(CURLOPT_MAXREDIRS, max_redirects);
    // Web addresses only, redirects included: a file:// or other scheme must not reach the
    // player's disk or network services.
    if (client.protocol_strings) {
        set.pointer(CURLOPT_PROTOCOLS_STR, "http,https");
        set.pointer(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    } else {
        set.integer(CURLOPT_PROTOCOLS, (long)(CURLPROTO_HTTP | CURLPROTO_HTTPS));
        set.integer(CURLOPT_REDIR_PROTOCOLS, (long)(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    }
    set.integer(CURLOPT_SSL_VERIFYPEER, 1L);
    set.integer(CURLOPT_SSL_VERIFYHOST, 2L);
    set.pointer(CURLOPT_PRIVATE, r);
}

static int setup_easy(http_request *r, const char *url, const char *content_type, const char *const *headers,
                      const char *const *form, const char *upload_path)
{
    r->easy = client.api.easy_init();
    if (!r->easy) return 0;
    easy_options set = {(CURL *)r->easy, 1};
    set.pointer(CURLOPT_SHARE, client.share);
    set.pointer(CURLOPT_URL, url);
    for (size_t i = 0; headers && headers[i]; i++)
        if (!add_header(r, headers[i])) return 0;
    if (content_type) {
        char *line = sprintf_alloc("Content-Type: %s", content_type);
        int added = line && add_header(r, line);
        SDL_free(line);
        if (!added) return 0;
    }
    if (!set_method(r, set, form, upload_path)) return 0;
    set_transfer_options(r, set);
    return set.ok;
}

static int has_content_type(const char *const *headers)
{
    for (size_t i = 0; headers && headers[i]; i++)
        if (SDL_strncasecmp(headers[i], "Content-Type:", 13) == 0) return 1;
    return 0;
}

static void fail_start(http_request *r)
{
    release_handles(r);
    r->complete = 1;
    r->http_response_code = -1;
}

int http_start(http_request *request, uint32_t method, const char *url, const char *const *headers,
               const char *const *form, const char *upload_path)
{
    if (!url || !request || method > HTTP_METHOD_HEAD) return 0;
    if (!client_set_up()) return 0;
    http_request *r = request;
    r->complete = 0;
    r->http_response_code = 0;
    r->request_written = r->request_total = r->response_read = r->response_total = 0;
    r->key = r->value = nullptr;
    r->key_length = r->value_length = 0;
    r->http_method = method;
    r->upload_file = nullptr;
    r->easy = nullptr;
    r->header_list = nullptr;
    r->form = nullptr;
    r->in_multi = 0;
    // A multipart form names its own type, with the boundary the body needs.
    const char *content_type = nullptr;
    if (!has_content_type(headers)) {
        if (method != HTTP_METHOD_POST) content_type = "application/octet-stream";
        else if (!form || !form[0]) content_type = "application/x-www-form-urlencoded";
    }
    if (!setup_easy(r, url, content_type, headers, form, upload_path)) {
        fail_start(r);
        return 0;
    }
    // A transfer started by a callback joins once the pump has returned (libcurl refuses
    // an add from inside its own calls).
    if (!client.pumping) {
        if (client.api.multi_add_handle(client.multi, r->easy) != CURLM_OK) {
            fail_start(r);
            return 0;
        }
        r->in_multi = 1;
    }
    running_link(r);
    return 1;
}

static void finish(http_request *r, CURLcode result)
{
    const curl_api &api = client.api;
    r->complete = 1;
    r->key = r->value = nullptr;
    r->key_length = r->value_length = 0;
    long code = 0;
    if (result == CURLE_OK && api.easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK)
        r->http_response_code = code > 0 && code <= INT32_MAX ? (int32_t)code : 0;
    else r->http_response_code = -1;
    // The exact final counts: the progress callback may not have run after the last bytes.
    curl_off_t n;
    if (r->easy) {
        if (api.easy_getinfo(r->easy, CURLINFO_SIZE_DOWNLOAD_T, &n) == CURLE_OK) r->response_read = count_of(n);
        if (api.easy_getinfo(r->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &n) == CURLE_OK && n >= 0)
            r->response_total = count_of(n);
        if (api.easy_getinfo(r->easy, CURLINFO_SIZE_UPLOAD_T, &n) == CURLE_OK) r->request_written = count_of(n);
        if (api.easy_getinfo(r->easy, CURLINFO_CONTENT_LENGTH_UPLOAD_T, &n) == CURLE_OK && n >= 0)
            r->request_total = count_of(n);
    }
    release_handles(r);
    running_unlink(r);
    if (r->on_done) r->on_done(r);
}

// Adds the transfers that were started while the pump ran. Those that their own failures
// start meanwhile are newer, so nearer the head, and wait for the next pass.
static void add_waiting(void)
{
    http_request *r = client.running;
    while (r) {
        http_request *next = r->next;
        if (!r->in_multi) {
            if (client.api.multi_add_handle(client.multi, r->easy) == CURLM_OK) r->in_multi = 1;
            else finish(r, CURLE_FAILED_INIT);
        }
        r = next;
    }
}

void http_tick(void)
{
    // Nothing to do without libcurl, and no pump inside a pump.
    if (!client.loaded || client.pumping) return;
    const curl_api &api = client.api;
    client.pumping = 1;
    add_waiting();
    int still_running = 0;
    api.multi_perform(client.multi, &still_running);
    int queued = 0;
    while (CURLMsg *message = api.multi_info_read(client.multi, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        // The message dies with its handle: read it first.
        CURLcode result = message->data.result;
        char *request = nullptr;
        api.easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &request);
        if (request) finish((http_request *)request, result);
    }
    add_waiting();
    client.pumping = 0;
}

void http_quit(void)
{
    // Every transfer goes before the handles they share; none calls back into Ruby.
    while (http_request *r = client.running) {
        running_unlink(r);
        release_handles(r);
        if (r->on_release) r->on_release(r);
    }
    client_cleanup();
}
