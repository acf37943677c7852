#include "e2e/e2e.h"
#include "support/test_files.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image.h>
#pragma GCC diagnostic pop

extern char **environ;

// Mesa keeps the shaders it compiles under the home folder: every program the tests start
// (games, X servers, the shells that start them) goes without, so a run leaves nothing there.
[[maybe_unused]] static const bool mesa_cache_off = setenv("MESA_SHADER_CACHE_DISABLE", "true", 1) == 0;

static void copy_executable(const std::string &from, const std::string &to)
{
    write_file(to, read_file(from));
    chmod(to.c_str(), 0755);
}

e2e_game::e2e_game(const std::string &name)
{
    root = make_temp_folder("zintarel-e2e-" + name);
    if (root.empty()) {
        fprintf(stderr, "no temporary folder for %s\n", name.c_str());
        abort();
    }
    // A real copy: the runtime writes beside its executable, and the file system refuses links.
    copy_executable(ZINTAREL_BINARY, root + "/zintarel");
    write_file(root + "/font.ttf", read_file(ZINTAREL_FONT));
}

e2e_game::~e2e_game()
{
    if (getenv("ZINTAREL_KEEP_E2E")) return;
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
}

void e2e_game::write(const std::string &relative, const std::string &contents) const
{
    write_file(root + "/" + relative, contents);
}

std::string e2e_game::read(const std::string &relative) const { return read_file(root + "/" + relative); }

bool e2e_game::exists(const std::string &relative) const
{
    struct stat st;
    return stat((root + "/" + relative).c_str(), &st) == 0;
}

// VmRSS of a running process in kB, 0 when it cannot be read.
static long resident_kb(pid_t pid)
{
    std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : atol(status.c_str() + at + 6);
}

e2e_run e2e_game::run(const std::vector<std::string> &args, int timeout_seconds,
                      const std::vector<std::string> &extra_env, const e2e_signal *signal, e2e_output output) const
{
    e2e_run result;
    std::string out_path = root + "/.stdout", err_path = root + "/.stderr";
    // Everything the child needs is made before the fork: a test may run other threads,
    // and the child may then only make async-signal-safe calls.
    // The test's own entries first, then the headless defaults, then the inherited ones:
    // each name once, the first given winning.
    std::vector<std::string> env_strings;
    auto add_unless_named = [&env_strings](const char *entry) {
        const char *eq = strchr(entry, '=');
        size_t name_length = eq ? (size_t)(eq - entry) + 1 : strlen(entry);
        for (const std::string &mine : env_strings)
            if (mine.compare(0, name_length, entry, name_length) == 0) return;
        env_strings.push_back(entry);
    };
    for (const std::string &e : extra_env) add_unless_named(e.c_str());
    // What the game writes per user (the production folder, caches) stays in the test's folder.
    std::string home = "HOME=" + root + "/home";
    for (const char *e : {"SDL_VIDEODRIVER=dummy", "ALSOFT_DRIVERS=null", home.c_str()}) add_unless_named(e);
    for (char **e = environ; *e; e++) add_unless_named(*e);
    std::vector<char *> envp, argv = {(char *)"./zintarel"};
    for (std::string &e : env_strings) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    for (const std::string &a : args) argv.push_back((char *)a.c_str());
    argv.push_back(nullptr);

    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    int gone_reader[2] = {-1, -1};
    if (output == e2e_output::reader_gone && pipe2(gone_reader, O_CLOEXEC) != 0) return result;
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(root.c_str()) != 0) _exit(126);
        if (output == e2e_output::reader_gone) {
            close(gone_reader[0]);
            dup2(gone_reader[1], 1);
        } else if (output == e2e_output::closed) {
            close(1);
        } else {
            dup2(out, 1);
        }
        dup2(err, 2);
        execve("./zintarel", argv.data(), envp.data());
        _exit(127);
    }
    if (gone_reader[0] >= 0) close(gone_reader[0]), close(gone_reader[1]);
    int status = 0;
    bool signalled = false;
    double ready_at = -1; // when the signal's file was first seen
    double next_sample = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (elapsed() >= next_sample) {
            long kb = resident_kb(pid);
            double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
            if (kb > 0) result.rss.push_back({now, kb});
            next_sample = elapsed() + 0.1;
        }
        if (signal && !signalled) {
            if (ready_at < 0 && (signal->when_exists.empty() || exists(signal->when_exists)) &&
                (!signal->ready || signal->ready(pid)))
                ready_at = elapsed();
            if (ready_at >= 0 && (elapsed() - ready_at) * 1000 >= signal->after_ms) {
                if (signal->before) signal->before();
                kill(pid, signal->number);
                signalled = true;
            }
        }
        if (elapsed() > timeout_seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.seconds = elapsed();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

bool e2e_decode_png(const std::string &png, e2e_picture *picture)
{
    int w = 0, h = 0, channels = 0;
    unsigned char *data = stbi_load_from_memory((const unsigned char *)png.data(), (int)png.size(), &w, &h, &channels, 4);
    if (!data) return false;
    picture->w = w, picture->h = h;
    picture->rgba.assign(data, data + (size_t)w * h * 4);
    stbi_image_free(data);
    return true;
}

bool e2e_capture_window(e2e_picture *picture)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) return false;
    Window root = DefaultRootWindow(display), parent, *children = nullptr, game = 0;
    unsigned count = 0;
    XWindowAttributes a, best = {};
    if (XQueryTree(display, root, &root, &parent, &children, &count))
        for (unsigned i = 0; i < count; i++)
            if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
                a.width * a.height > best.width * best.height)
                best = a, game = children[i];
    if (children) XFree(children);
    XImage *image = game ? XGetImage(display, game, 0, 0, best.width, best.height, AllPlanes, ZPixmap) : nullptr;
    bool captured = image != nullptr;
    if (captured) {
        picture->w = best.width, picture->h = best.height;
        std::vector<unsigned char> &rgba = picture->rgba;
        rgba.resize((size_t)best.width * best.height * 4);
        auto channel = [](unsigned long pixel, unsigned long mask) {
            while (mask && !(mask & 1)) mask >>= 1, pixel >>= 1;
            return (unsigned char)(pixel & mask);
        };
        for (int y = 0; y < best.height; y++)
            for (int x = 0; x < best.width; x++) {
                unsigned long px = XGetPixel(image, x, y);
                unsigned char *out = &rgba[((size_t)y * best.width + x) * 4];
                out[0] = channel(px, image->red_mask), out[1] = channel(px, image->green_mask);
                out[2] = channel(px, image->blue_mask), out[3] = 255;
            }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return captured;
}

e2e_display::e2e_display()
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    std::string fd = std::to_string(ready[1]);
    pid_t child = fork();
    if (child == 0) {
        fcntl(ready[1], F_SETFD, 0); // the server writes its display number there
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1), dup2(null, 2);
        // -noreset: a server that resets once its last client leaves refuses the next one meanwhile.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset",
               (char *)nullptr);
        _exit(127);
    }
    close(ready[1]);
    pid = child;
    // The number arrives once the server accepts clients; a server that fails closes the pipe.
    std::string number;
    struct pollfd p = {ready[0], POLLIN, 0};
    char c;
    while (child > 0 && poll(&p, 1, 60000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (!number.empty()) name = ":" + number;
}

e2e_display::~e2e_display()
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

int e2e_display::windows_shown() const
{
    Display *display = name.empty() ? nullptr : XOpenDisplay(name.c_str());
    if (!display) return 0;
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    int shown = 0;
    XWindowAttributes a;
    if (XQueryTree(display, root, &root, &parent, &children, &count))
        for (unsigned i = 0; i < count; i++)
            shown += XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable;
    if (children) XFree(children);
    XCloseDisplay(display);
    return shown;
}
