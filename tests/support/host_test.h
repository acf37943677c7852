// The GoogleTest fixture of the native tests that need a host without a runtime.
#pragma once
#include "support/host_fixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

class HostTest : public ::testing::Test {
  protected:
    host_fixture fx;
    void SetUp() override { ASSERT_TRUE(host_fixture_up(&fx, false)); }
    void TearDown() override { host_fixture_down(&fx); }
};

// SDL's log lines while it lives, in place of the usual output.
struct sdl_log_capture {
    std::vector<std::string> lines;
    SDL_LogOutputFunction saved_function = nullptr;
    void *saved_data = nullptr;

    sdl_log_capture()
    {
        SDL_LogGetOutputFunction(&saved_function, &saved_data);
        SDL_LogSetOutputFunction([](void *self, int, SDL_LogPriority, const char *message) {
            ((sdl_log_capture *)self)->lines.push_back(message);
        }, this);
    }
    ~sdl_log_capture() { SDL_LogSetOutputFunction(saved_function, saved_data); }

    // How many lines hold the text.
    int count(const std::string &text) const
    {
        int n = 0;
        for (const std::string &line : lines) n += line.find(text) != std::string::npos;
        return n;
    }
};
