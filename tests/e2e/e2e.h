// Runs a copy of the built executable on a small game folder, headless, bounded by a
// timeout, and captures its exit status, output and the files it writes.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct e2e_run {
    int status = -1000; // exit status (0..255), or -signal when killed
    std::string out;
    std::string err;
    double seconds = 0;
    // The child's resident memory, read from /proc every 100 ms: (seconds since the epoch, kB).
    std::vector<std::pair<double, long>> rss;
};

// A signal sent to a running game once it is ready for it: when the file `when_exists`
// (relative to the temporary folder) has appeared, `after_ms` later. The game writes that
// file itself, so the signal never lands before start-up is done, however slow the machine.
struct e2e_signal {
    std::string when_exists;
    int after_ms = 0;
    int number = 15;
    std::function<void()> before; // called just before the signal is sent (the game still runs)
    std::function<bool(int pid)> ready; // when given, also asked until it answers true
};

// Where the game's standard output goes.
enum class e2e_output {
    captured,    // a file, read into e2e_run::out
    reader_gone, // a pipe whose reading end is closed before the game starts
    closed,      // no descriptor 1 at all
};

struct e2e_game {
    std::string root; // the temporary folder holding the binary copy, font.ttf and games
    explicit e2e_game(const std::string &name);
    ~e2e_game();
    void write(const std::string &relative, const std::string &contents) const;
    std::string read(const std::string &relative) const;
    bool exists(const std::string &relative) const;
    // Runs ./zintarel with args from root; extra_env is "NAME=value" entries. Without a
    // signal the run ends by itself, or is killed after timeout_seconds.
    e2e_run run(const std::vector<std::string> &args, int timeout_seconds = 30,
                const std::vector<std::string> &extra_env = {}, const e2e_signal *signal = nullptr,
                e2e_output output = e2e_output::captured) const;
};

// Whether text holds part; how many times it does (overlapping ones counted).
inline bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }
inline int occurrences(const std::string &text, const std::string &part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

// A picture as RGBA rows from the top: a screenshot the game saved, or its window captured.
struct e2e_picture {
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    // A pixel by game coordinates: x from the left, y upward from the bottom.
    const unsigned char *at(int x, int y) const { return &rgba[((size_t)(h - 1 - y) * w + x) * 4]; }
};

// PNG bytes (a screenshot) into picture; false, and the picture left as it was, when they do
// not decode.
bool e2e_decode_png(const std::string &png, e2e_picture *picture);

// An X server of the test's own (Xvfb on a free display), for what only a real display shows.
struct e2e_display {
    std::string name; // ":N", empty when the server could not be started
    int pid = -1;
    e2e_display();
    ~e2e_display();
    // How many windows the server shows (mapped windows at the top of its screen).
    int windows_shown() const;
};

// In a real X11 window: what the server shows of the largest window on the screen (the
// game's); false, and the picture left as it was, when there is none.
bool e2e_capture_window(e2e_picture *picture);
