#include "base/files.h"
#include "base/logfile.h"
#include "base/ruby.h"
#include "compile/compile.h"
#include "ffi/ffi.h"
#include "render/event_format.h"
#include "render/render.h"
#include "services/http_client.h"
#include "support/host_fixture.h"

#include <mruby/string.h>
#include <physfs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

game_context test_game;

// The folders this process made and has not removed yet: a process that ends where the code
// under test exits (a child that runs start-up's fatal paths) removes them at its exit. A
// forked child inherits the list, not the folders.
static std::vector<std::pair<pid_t, std::string>> live_roots;

static void remove_root(const std::string &root)
{
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
}

static void remove_live_roots(void)
{
    // The log files first: what they hold is written now, into folders about to go.
    logfile_close();
    for (const auto &live : live_roots)
        if (live.first == getpid()) remove_root(live.second);
    live_roots.clear();
}

int host_fixture_up(host_fixture *fixture, bool construct_runtime)
{
    fixture->root = make_temp_folder("zintarel-test");
    if (fixture->root.empty()) return 0;
    static bool removes_at_exit = false;
    if (!removes_at_exit) removes_at_exit = atexit(remove_live_roots) == 0;
    live_roots.push_back({getpid(), fixture->root});
    fixture->game_dir = fixture->root + "/game";
    fixture->base_dir = fixture->root + "/base";
    make_dirs(fixture->game_dir + "/app");
    make_dirs(fixture->base_dir);
    // OpenAL kept off the machine's sound servers, whatever the caller's environment: their
    // threads are not instrumented for ThreadSanitizer. (CTest gives the video driver.)
    setenv("ALSOFT_DRIVERS", "null", 0);
    if (SDL_Init(0) != 0) return 0;
    if (!threadstream_init() || !files_init()) return 0;
    if (!PHYSFS_init("zintarel-tests")) return 0;
    PHYSFS_mount(fixture->base_dir.c_str(), nullptr, 0);
    PHYSFS_mount(fixture->game_dir.c_str(), nullptr, 0);
    PHYSFS_setWriteDir(fixture->base_dir.c_str());
    test_game.game_dir = SDL_strdup(fixture->game_dir.c_str());
    test_game.base_dir = SDL_strdup(fixture->base_dir.c_str());
    if (!game_open_interpreter(&test_game)) {
        fprintf(stderr, "framework failed: %s\n", SDL_GetError());
        return 0;
    }
    ffi_init(&test_game, nullptr);
    draw_define_class(test_game.interpreter, test_game.ffi_module);
    if (construct_runtime) {
        char *argv[] = {(char *)"./zintarel", (char *)"game"};
        game_pre_init(&test_game, 2, argv);
        game_init(&test_game, 2, argv);
    }
    return 1;
}

void host_fixture_down(host_fixture *fixture)
{
    // As shutdown does: transfers still running refer to the interpreter.
    http_quit();
    if (test_game.interpreter) mrb_close(test_game.interpreter);
    SDL_free(test_game.game_dir);
    SDL_free(test_game.base_dir);
    test_game = game_context();
    // The log files stay open between lines: closed now, they are not made again in the
    // folder after it is removed.
    logfile_close();
    PHYSFS_deinit();
    threadstream_quit();
    SDL_Quit();
    remove_root(fixture->root);
    for (size_t i = 0; i < live_roots.size(); i++)
        if (live_roots[i].second == fixture->root) live_roots.erase(live_roots.begin() + (long)i--);
}

thread_channel *host_fixture_queues(void)
{
    test_game.channel = thread_channel_create();
    return test_game.channel;
}

threadstream *host_fixture_event_stream(const std::vector<SDL_Event> &events)
{
    threadstream *s = threadstream_allocate();
    event_stream_begin(s);
    for (const SDL_Event &e : events) {
        if (SDL_Event *slot = event_stream_slot(s)) {
            *slot = e;
            event_stream_commit(s);
        }
    }
    event_stream_finish(s, events.size());
    return s;
}

std::string host_fixture_eval(const std::string &code) { return host_fixture_eval_in(test_game.interpreter, code); }

std::string host_fixture_eval_in(mrb_state *mrb, const std::string &code)
{
    int ai = mrb_gc_arena_save(mrb);
    mrb_value v = ruby_load(mrb, code.data(), code.size(), "(test)");
    if (mrb->exc) v = mrb_obj_value(mrb->exc);
    mrb->exc = nullptr;
    char *text = ruby_inspect_alloc(mrb, v);
    std::string out = text ? text : "";
    SDL_free(text);
    mrb_gc_arena_restore(mrb, ai);
    return out;
}
