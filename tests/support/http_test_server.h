// A small HTTP/1.1 server on 127.0.0.1 for the tests and benchmarks of the HTTP client: plain
// sockets, one thread per connection, one request per connection. It records every request it
// reads and answers by path:
//   /hello     200, "hello world", with padded and one-letter header lines
//   /odd-headers  200 with header lines of blanks, bare colons and empty values
//   /missing   404
//   /big       10 MiB of numbered blocks (http_test_big_body)
//   /moved     302 to /hello
//   /loop      302 back to itself, forever
//   /to-file   302 to file:///etc/hostname
//   /slow      200 with headers at once and a 5-byte body that never comes
//   /trickle   200 with a 64 MiB length, 256 bytes every 10 ms until the server stops
//   anything else: 200 "ok" once the request body has arrived
// Given a folder (http_test_server_serve_folder), "/NAME" answers that folder's file NAME
// first, and a name it does not hold (or one with "/" or "..") 404.
// Also the self-signed HTTPS server (openssl s_server) that a verifying client must refuse.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

struct http_test_request {
    std::string method, target;
    std::vector<std::pair<std::string, std::string>> headers; // as received, in order
    std::string body;
};

struct http_test_server;

// Listening on an ephemeral port of 127.0.0.1, or null.
http_test_server *http_test_server_start(void);
// Closes every connection, joins every thread and frees the server.
void http_test_server_stop(http_test_server *server);
int http_test_server_port(const http_test_server *server);
// Every complete request read so far, in arrival order.
std::vector<http_test_request> http_test_server_requests(http_test_server *server);

// Serves the files of folder by name from now on.
void http_test_server_serve_folder(http_test_server *server, const std::string &folder);
// The file at path (say "/a.rb") goes out chunked, a few bytes every 20 ms.
void http_test_server_trickle_chunked(http_test_server *server, const std::string &path);

// The value of the first header of that name (any case); "" when absent.
std::string http_test_header(const http_test_request &request, const std::string &name);
// The fields of a multipart/form-data body, parsed by its own boundary; empty when the body
// is not one.
std::map<std::string, std::string> http_test_multipart_fields(const http_test_request &request);
// The exact bytes /big sends.
std::string http_test_big_body(void);

// A port of 127.0.0.1 that nothing listens on (bound, then closed again); 0 on failure.
int http_test_closed_port(void);

// openssl s_server with a certificate made for this run, serving on 127.0.0.1.
struct https_test_server {
    int pid = 0;
    int port = 0;
    int output = -1; // the server's standard output and error, readable
    std::string said; // what it has printed so far
    std::string folder;
};
// false (with why in *error) when openssl is missing or the server did not come up.
bool https_test_server_start(https_test_server *server, std::string *error);
// What the server has printed so far (its handshake failures among it).
std::string https_test_server_output(https_test_server *server);
void https_test_server_stop(https_test_server *server);
