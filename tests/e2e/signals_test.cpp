// How a run ends at a signal, and what it keeps: the start-up failure box on a real display,
// a recording at SIGTERM, SIGINT and a closed terminal, and a standard output nobody reads.
#include "e2e/e2e.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

// The replay a run saved at quit ("game/replay_TIME.txt"), "" when there is none.
static std::string saved_replay(const e2e_game &g)
{
    std::string text;
    DIR *dir = opendir((g.root + "/game").c_str());
    while (dirent *e = dir ? readdir(dir) : nullptr)
        if (strncmp(e->d_name, "replay_", 7) == 0) text = g.read(std::string("game/") + e->d_name);
    if (dir) closedir(dir);
    return text;
}

static void forget_last_run(const e2e_game &g)
{
    std::string cmd = "rm -rf '" + g.root + "'/game/replay_* '" + g.root + "/game/ready.txt' '" + g.root +
                      "/game/go.txt' '" + g.root + "/console_history.txt' '" + g.root + "/logs'";
    ASSERT_EQ(0, system(cmd.c_str()));
}

TEST(Signals, TermIntAndAHangupWhileTheFailureBoxIsShownEndTheRunWithStatusOneAndTheBox)
{
    e2e_display x;
    ASSERT_FALSE(x.name.empty()) << "Xvfb did not start";
    e2e_game g("failure box");
    const std::string message = "Startup failure!:\nCouldn't mount 'nosuchgame' directory:";
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        bool box_shown = false;
        e2e_signal sig;
        sig.number = number;
        sig.ready = [&](int) { return box_shown = contains(g.read(".stderr"), message) && x.windows_shown() > 0; };
        e2e_run r = g.run({"nosuchgame"}, 20, {"SDL_VIDEODRIVER=x11", "DISPLAY=" + x.name}, &sig);
        EXPECT_TRUE(box_shown) << number << ": no box appeared (are X's fonts, xfonts-base, installed?)\n" << r.err;
        EXPECT_EQ(1, r.status) << number;
        EXPECT_TRUE(contains(r.err, message)) << r.err;
        // The box is shown by a process of its own, which goes too; the server may take a
        // moment to take the window down.
        int shown = x.windows_shown();
        for (int waited = 0; shown > 0 && waited < 20000; waited += 20) {
            usleep(20000);
            shown = x.windows_shown();
        }
        EXPECT_EQ(0, shown) << number << ": the box outlived the run";
    }
}

TEST(Signals, TermIntAndAHangupDuringARecordingEndTheRunThroughShutdownKeepingRecordingAndHistory)
{
    e2e_game g("recording signals");
    g.write("game/app/main.rb", "def tick args\n  puts \"tick #{args.tick_count}\"\n"
                                "  $zoq.ffi_file.write 'ready.txt', 'x' if args.recording.is_recording? && "
                                "args.tick_count == 1\nend\n");
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        forget_last_run(g);
        e2e_signal sig;
        sig.when_exists = "game/ready.txt";
        sig.number = number;
        e2e_run r = g.run({"game", "--record", "--seed", "5"}, 30, {}, &sig);
        EXPECT_EQ(0, r.status) << number << "\n" << r.err;
        EXPECT_EQ(0u, saved_replay(g).find("replay_version 2.0\n")) << number;
        EXPECT_TRUE(g.exists("console_history.txt")) << number;
        EXPECT_TRUE(contains(g.read("logs/puts.txt"), "tick 1\n")) << number;
    }
}

TEST(Signals, AStandardOutputWithoutAReaderOrClosedChangesNeitherWhatIsSavedNorTheStatus)
{
    e2e_game g("no reader");
    // Prints and logs every tick, and quits once the test has looked at the running game.
    g.write("game/app/main.rb", "def tick args\n  puts \"tick #{args.tick_count}\"\n  log \"logged\"\n"
                                "  $zoq.ffi_file.write 'ready.txt', 'x' if args.recording.is_recording? && "
                                "args.tick_count == 1\n  $zoq.request_quit if $zoq.read_file('go.txt')\nend\n");
    struct {
        e2e_output output;
        const char *descriptor_1; // what the game's descriptor 1 is while it runs
    } rows[] = {{e2e_output::reader_gone, "pipe:"}, {e2e_output::closed, "/dev/null"}};
    for (const auto &row : rows) {
        forget_last_run(g);
        std::string descriptor_1;
        e2e_signal look;
        look.number = 0;
        look.when_exists = "game/ready.txt";
        look.ready = [&](int pid) {
            char target[256] = {};
            ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/fd/1").c_str(), target, sizeof target - 1);
            descriptor_1 = n > 0 ? std::string(target, (size_t)n) : "";
            g.write("game/go.txt", "x");
            return true;
        };
        e2e_run r = g.run({"game", "--record", "--seed", "5"}, 30, {}, &look, row.output);
        EXPECT_EQ(0, r.status) << row.descriptor_1 << "\n" << r.err;
        EXPECT_EQ(0u, saved_replay(g).find("replay_version 2.0\n")) << row.descriptor_1;
        EXPECT_TRUE(contains(g.read("logs/puts.txt"), "tick 1\n")) << row.descriptor_1;
        EXPECT_TRUE(contains(g.read("logs/log.txt"), "logged\n")) << row.descriptor_1;
        EXPECT_EQ(0u, descriptor_1.find(row.descriptor_1)) << descriptor_1;
    }
}
