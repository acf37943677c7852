#include "support/http_test_server.h"
#include "support/test_files.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

struct http_test_server {
    int listener = -1;
    int port = 0;
    std::thread acceptor;
    std::mutex lock; // guards everything below
    std::condition_variable wake;
    bool stopping = false;
    std::vector<std::thread> connections;
    std::set<int> open_sockets;
    std::vector<http_test_request> requests;
    std::string folder;               // served by name when not empty
    std::set<std::string> chunked;    // paths sent chunked and slowly
};

static bool send_all(int fd, const std::string &data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        // MSG_NOSIGNAL: a client that hung up must not kill the test process.
        ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += (size_t)n;
    }
    return true;
}

static std::string lower(std::string s)
{
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

std::string http_test_header(const http_test_request &request, const std::string &name)
{
    for (const auto &h : request.headers)
        if (lower(h.first) == lower(name)) return h.second;
    return "";
}

// Reads more bytes into buffer; false at the end of the stream or on an error.
static bool read_more(int fd, std::string &buffer)
{
    char chunk[65536];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, (size_t)n);
    return true;
}

static bool read_request(int fd, http_test_request &request)
{
    std::string buffer;
    size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (buffer.size() > 65536 || !read_more(fd, buffer)) return false;
    }
    std::string head = buffer.substr(0, end);
    std::string rest = buffer.substr(end + 4);
    size_t line_end = head.find("\r\n");
    std::string line = head.substr(0, line_end);
    size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1) return false;
    request.method = line.substr(0, sp1);
    request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    while (line_end != std::string::npos) {
        size_t start = line_end + 2;
        line_end = head.find("\r\n", start);
        std::string h = head.substr(start, line_end == std::string::npos ? std::string::npos : line_end - start);
        size_t colon = h.find(':');
        if (colon == std::string::npos) continue;
        size_t v = colon + 1;
        while (v < h.size() && h[v] == ' ') v++;
        request.headers.push_back({h.substr(0, colon), h.substr(v)});
    }
    if (lower(http_test_header(request, "Expect")) == "100-continue" && !send_all(fd, "HTTP/1.1 100 Continue\r\n\r\n"))
        return false;
    if (lower(http_test_header(request, "Transfer-Encoding")) == "chunked") {
        for (;;) {
            size_t eol;
            while ((eol = rest.find("\r\n")) == std::string::npos)
                if (!read_more(fd, rest)) return false;
            size_t size = strtoul(rest.substr(0, eol).c_str(), nullptr, 16);
            while (rest.size() < eol + 2 + size + 2)
                if (!read_more(fd, rest)) return false;
            request.body.append(rest, eol + 2, size);
            rest.erase(0, eol + 2 + size + 2);
            if (size == 0) return true;
        }
    }
    size_t length = strtoul(http_test_header(request, "Content-Length").c_str(), nullptr, 10);
    while (rest.size() < length)
        if (!read_more(fd, rest)) return false;
    request.body = rest.substr(0, length);
    return true;
}

std::string http_test_big_body(void)
{
    // Numbered 256-byte blocks: a lost, repeated or reordered block shows.
    std::string body;
    body.reserve(10u << 20);
    for (int block = 0; block < 40960; block++) {
        char number[16];
        snprintf(number, sizeof number, "%08d", block);
        body.append(number, 8);
        for (int i = 0; i < 248; i++) body.push_back((char)(i + block));
    }
    return body;
}

static std::string response(const char *status, const std::string &extra_headers, const std::string &body)
{
    return std::string("HTTP/1.1 ") + status + "\r\n" + extra_headers + "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Sleeps ms unless the server stops meanwhile; false when it stopped.
static bool pause_unless_stopping(http_test_server *server, int ms)
{
    std::unique_lock<std::mutex> hold(server->lock);
    return !server->wake.wait_for(hold, std::chrono::milliseconds(ms), [server] { return server->stopping; });
}

// A file of the served folder, by name; false when the folder holds no such file.
static bool answer_from_folder(http_test_server *server, int fd, const std::string &path)
{
    std::string folder;
    bool chunked;
    {
        std::lock_guard<std::mutex> hold(server->lock);
        folder = server->folder;
        chunked = server->chunked.count(path) > 0;
    }
    if (folder.empty()) return false;
    std::string name = path.substr(1);
    std::string body;
    if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos ||
        !read_file_into(folder + "/" + name, body)) {
        send_all(fd, response("404 Not Found", "", "not here"));
        return true;
    }
    if (!chunked) {
        send_all(fd, response("200 OK", "", body));
        return true;
    }
    if (!send_all(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n")) return true;
    for (size_t at = 0; at < body.size(); at += 7) {
        std::string piece = body.substr(at, 7);
        char size[16];
        snprintf(size, sizeof size, "%zx\r\n", piece.size());
        if (!send_all(fd, size + piece + "\r\n") || !pause_unless_stopping(server, 20)) return true;
    }
    send_all(fd, "0\r\n\r\n");
    return true;
}

static void answer(http_test_server *server, int fd, const http_test_request &request)
{
    const std::string &path = request.target;
    if (answer_from_folder(server, fd, path)) return;
    if (path == "/hello") {
        send_all(fd, response("200 OK", "Content-Type: text/plain\r\nX-Padded \t:  padded value \t\r\nY:z\r\n",
                              request.method == "HEAD" ? "" : "hello world"));
    } else if (path == "/odd-headers") {
        send_all(fd, response("200 OK", ":only value\r\nZ:\r\n  Q \t:\t \r\nW: a: b \r\n", "odd"));
    } else if (path == "/missing") {
        send_all(fd, response("404 Not Found", "", "not here"));
    } else if (path == "/big") {
        send_all(fd, response("200 OK", "", http_test_big_body()));
    } else if (path == "/moved") {
        send_all(fd, response("302 Found", "Location: /hello\r\nX-First: moved\r\n", ""));
    } else if (path == "/loop") {
        send_all(fd, response("302 Found", "Location: /loop\r\n", ""));
    } else if (path == "/to-file") {
        send_all(fd, response("302 Found", "Location: file:///etc/hostname\r\n", ""));
    } else if (path == "/slow") {
        // The body never comes: the connection is held until the server stops.
        if (!send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n")) return;
        std::unique_lock<std::mutex> hold(server->lock);
        server->wake.wait(hold, [server] { return server->stopping; });
    } else if (path == "/trickle") {
        if (!send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 67108864\r\nConnection: close\r\n\r\n")) return;
        std::string piece(256, 't');
        for (;;) {
            std::unique_lock<std::mutex> hold(server->lock);
            if (server->wake.wait_for(hold, std::chrono::milliseconds(10), [server] { return server->stopping; }))
                return;
            hold.unlock();
            if (!send_all(fd, piece)) return;
        }
    } else {
        send_all(fd, response("200 OK", "", "ok"));
    }
}

static void serve(http_test_server *server, int fd)
{
    http_test_request request;
    if (read_request(fd, request)) {
        {
            std::lock_guard<std::mutex> hold(server->lock);
            server->requests.push_back(request);
        }
        answer(server, fd, request);
    }
    // Half-close and wait for the client's own close, so the answer is never cut by a reset.
    shutdown(fd, SHUT_WR);
    pollfd p = {fd, POLLIN, 0};
    char sink[4096];
    while (poll(&p, 1, 2000) > 0 && recv(fd, sink, sizeof sink, 0) > 0) {
    }
    std::lock_guard<std::mutex> hold(server->lock);
    server->open_sockets.erase(fd);
    close(fd);
}

static void accept_loop(http_test_server *server)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(server->lock);
            if (server->stopping) return;
        }
        pollfd p = {server->listener, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        int fd = accept(server->listener, nullptr, nullptr);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> hold(server->lock);
        if (server->stopping) {
            close(fd);
            return;
        }
        server->open_sockets.insert(fd);
        server->connections.emplace_back(serve, server, fd);
    }
}

static int bound_socket(int *port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (bind(fd, (sockaddr *)&addr, sizeof addr) != 0 || getsockname(fd, (sockaddr *)&addr, &size) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

http_test_server *http_test_server_start(void)
{
    int port = 0;
    int fd = bound_socket(&port);
    if (fd < 0) return nullptr;
    if (listen(fd, 256) != 0) {
        close(fd);
        return nullptr;
    }
    http_test_server *server = new http_test_server;
    server->listener = fd;
    server->port = port;
    server->acceptor = std::thread(accept_loop, server);
    return server;
}

void http_test_server_stop(http_test_server *server)
{
    if (!server) return;
    {
        std::lock_guard<std::mutex> hold(server->lock);
        server->stopping = true;
        for (int fd : server->open_sockets) shutdown(fd, SHUT_RDWR);
    }
    server->wake.notify_all();
    server->acceptor.join();
    // No thread is added once stopping is seen, so the list is final.
    for (std::thread &t : server->connections) t.join();
    close(server->listener);
    delete server;
}

int http_test_server_port(const http_test_server *server) { return server->port; }

void http_test_server_serve_folder(http_test_server *server, const std::string &folder)
{
    std::lock_guard<std::mutex> hold(server->lock);
    server->folder = folder;
}

void http_test_server_trickle_chunked(http_test_server *server, const std::string &path)
{
    std::lock_guard<std::mutex> hold(server->lock);
    server->chunked.insert(path);
}

std::vector<http_test_request> http_test_server_requests(http_test_server *server)
{
    std::lock_guard<std::mutex> hold(server->lock);
    return server->requests;
}

std::map<std::string, std::string> http_test_multipart_fields(const http_test_request &request)
{
    std::map<std::string, std::string> fields;
    std::string type = http_test_header(request, "Content-Type");
    const std::string prefix = "multipart/form-data; boundary=";
    if (type.compare(0, prefix.size(), prefix) != 0) return fields;
    std::string delimiter = "--" + type.substr(prefix.size());
    const std::string &body = request.body;
    size_t at = body.find(delimiter);
    while (at != std::string::npos) {
        size_t part = at + delimiter.size();
        if (body.compare(part, 2, "--") == 0) break; // the closing delimiter
        part += 2;                                   // CRLF after the delimiter
        size_t head_end = body.find("\r\n\r\n", part);
        if (head_end == std::string::npos) break;
        std::string head = body.substr(part, head_end - part);
        size_t next = body.find("\r\n" + delimiter, head_end + 4);
        if (next == std::string::npos) break;
        size_t name_at = head.find("name=\"");
        if (name_at != std::string::npos) {
            size_t name_end = head.find('"', name_at + 6);
            fields[head.substr(name_at + 6, name_end - name_at - 6)] = body.substr(head_end + 4, next - head_end - 4);
        }
        at = next + 2;
    }
    return fields;
}

int http_test_closed_port(void)
{
    int port = 0;
    int fd = bound_socket(&port);
    if (fd < 0) return 0;
    close(fd);
    return port;
}

// Runs a program to its end; its exit status, or -1.
static int run_program(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back((char *)a.c_str());
    argv.push_back(nullptr);
    pid_t pid;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool https_test_server_start(https_test_server *server, std::string *error)
{
    server->folder = make_temp_folder("zintarel-https");
    if (server->folder.empty()) {
        *error = "no temporary folder";
        return false;
    }
    std::string key = server->folder + "/key.pem", cert = server->folder + "/cert.pem";
    if (run_program({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                     "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1"}) != 0) {
        *error = "openssl could not make a certificate (is the openssl package installed?)";
        return false;
    }
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        *error = "no pipe";
        return false;
    }
    // Bounded by timeout, so a test process that dies cannot leave it running.
    std::vector<std::string> args = {"timeout", "600",  "openssl", "s_server", "-accept", "127.0.0.1:0",
                                     "-cert",   cert,   "-key",    key,        "-www"};
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back((char *)a.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        *error = "openssl s_server could not start";
        return false;
    }
    server->pid = pid;
    server->output = pipe_fds[0];
    // The server names its port in its "ACCEPT 127.0.0.1:PORT" line.
    std::string &said = server->said;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        size_t at = said.find("ACCEPT 127.0.0.1:");
        if (at != std::string::npos && said.find('\n', at) != std::string::npos) {
            server->port = atoi(said.c_str() + at + 17);
            break;
        }
        pollfd p = {server->output, POLLIN, 0};
        if (poll(&p, 1, 100) > 0 && !read_more(server->output, said)) break;
    }
    if (server->port <= 0) {
        *error = "openssl s_server did not say its port: " + said;
        https_test_server_stop(server);
        return false;
    }
    return true;
}

std::string https_test_server_output(https_test_server *server)
{
    pollfd p = {server->output, POLLIN, 0};
    while (server->output >= 0 && poll(&p, 1, 0) > 0 && read_more(server->output, server->said)) {
    }
    return server->said;
}

void https_test_server_stop(https_test_server *server)
{
    if (server->pid > 0) {
        kill(server->pid, SIGTERM);
        waitpid(server->pid, nullptr, 0);
        server->pid = 0;
    }
    if (server->output >= 0) close(server->output);
    server->output = -1;
    if (!server->folder.empty()) {
        std::string cmd = "rm -rf '" + server->folder + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", server->folder.c_str());
        server->folder.clear();
    }
}
