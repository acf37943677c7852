// A host brought up without a window for tests: PhysicsFS over a fresh temporary game
// folder, the interpreter with the framework, the FFI classes and (optionally) a runtime.
#pragma once
#include <string>
#include <vector>

#include "base/channel.h"
#include "host/game.h"
#include "support/test_files.h"

// The game record the fixture brings up, as start-up does the executable's.
extern game_context test_game;

struct host_fixture {
    std::string root;     // temporary folder: game/ and base/ live under it
    std::string game_dir; // mounted as the game folder and used by FFI::File#write
    std::string base_dir; // the write directory, as in development
};

// Brings the host up (SDL without video, PhysicsFS, interpreter, FFI). 0 on failure.
int host_fixture_up(host_fixture *fixture, bool construct_runtime);
void host_fixture_down(host_fixture *fixture);
// A thread channel installed as the game's: what the per-frame step needs of the render
// side. Free it with thread_channel_delete (and clear test_game.channel).
thread_channel *host_fixture_queues(void);
// An event stream as the render thread writes it: the count, then the raw events.
threadstream *host_fixture_event_stream(const std::vector<SDL_Event> &events);
// Evaluates Ruby through the compile step; answers its inspect text (or the exception's).
std::string host_fixture_eval(const std::string &code);
// The same in another interpreter.
std::string host_fixture_eval_in(mrb_state *mrb, const std::string &code);
