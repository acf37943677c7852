// Runs a copy of the built executable on a small game folder, headless, bounded by a
// timeout, and captures its exit status, output and the files it writes.
#pragma once
#include <string>
#include <vector>

struct e2e_run {
    int status = -1000; // exit status (0..255), or -signal when killed
    std::string out;
    std::string err;
    double seconds = 0;
};

struct e2e_game {
    std::string root; // the temporary folder holding the binary copy, font.ttf and games
    explicit e2e_game(const std::string &name);
    ~e2e_game();
    void write(const std::string &relative, const std::string &contents) const;
    std::string read(const std::string &relative) const;
    bool exists(const std::string &relative) const;
    // Runs ./zintarel with args from root; extra_env is "NAME=value" entries; with
    // signal_after_ms >= 0 the process is sent signal_number after that many milliseconds.
    e2e_run run(const std::vector<std::string> &args, int timeout_seconds = 20,
                const std::vector<std::string> &extra_env = {}, int signal_after_ms = -1,
                int signal_number = 15) const;
};
