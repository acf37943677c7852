// The run as a game author relies on it when things go wrong: a full disk loses no file and
// says so, exit ends the run through the shutdown, a game that never comes back from its
// tick still ends on SIGTERM, a paused game's memory stays flat, and an option whose file is
// missing says so and fails.
#include "e2e/e2e.h"
#include "support/small_disk.h"
#include "support/test_files.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

namespace {

// Fills the disk holding `dir` to the last byte.
void fill(const std::string &dir)
{
    FILE *f = fopen((dir + "/filler.bin").c_str(), "wb");
    ASSERT_TRUE(f);
    std::string block(4096, 'f');
    while (fwrite(block.data(), 1, block.size(), f) == block.size() && fflush(f) == 0) {
    }
    fclose(f);
}

// Names in the folder holding ".partial" (a write left half done).
std::string partials(const std::string &dir)
{
    std::string found;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strstr(e->d_name, ".partial")) found += std::string(e->d_name) + " ";
        closedir(d);
    }
    return found;
}

// The first replay_TIME.txt in the folder, or "".
std::string replay_in(const e2e_game &g, const std::string &folder)
{
    std::string name;
    if (DIR *d = opendir((g.root + "/" + folder).c_str())) {
        while (dirent *e = readdir(d))
            if (strncmp(e->d_name, "replay_", 7) == 0 && name.empty()) name = e->d_name;
        closedir(d);
    }
    return name.empty() ? "" : g.read(folder + "/" + name);
}

} // namespace

TEST(Reliability, OnAFullDiskEveryWriteFailsSayingSoAndTheFilesBeforeItStay)
{
    e2e_game g("full_disk");
    small_disk game_disk(g.root + "/game", "256k");
    small_disk report_disk(g.root + "/exceptions", "64k");
    SKIP_UNLESS_MOUNTED(game_disk);
    SKIP_UNLESS_MOUNTED(report_disk);
    g.write("game/app/main.rb",
            "def tick args\n"
            "  args.state.blob = 'z' * 300_000\n"
            "  results = [$zoq.write_file('data/save.txt', 'y' * 300_000), $zoq.save_state,\n"
            "             $zoq.serialize_state('../outside_state.txt', args.state)]\n"
            "  $zoq.export! 'on purpose'\n"
            "  $zoq.write_file_root 'results.txt', results.inspect\n"
            "  $zoq.request_quit\n"
            "end\n");
    g.write("game/data/save.txt", "good save");
    g.write("game/game_state.txt", "{:score=>1}");
    g.write("exceptions/current.txt", "the report before");
    fill(g.root + "/game");
    fill(g.root + "/exceptions");
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("[false, false, false]", g.read("results.txt")) << r.out;
    EXPECT_EQ("good save", g.read("game/data/save.txt"));
    EXPECT_EQ("{:score=>1}", g.read("game/game_state.txt"));
    EXPECT_EQ("the report before", g.read("exceptions/current.txt"));
    EXPECT_EQ("", partials(g.root + "/game") + partials(g.root + "/game/data") + partials(g.root + "/exceptions"));
    for (const char *said : {"could not be saved to file game_state.txt", "could not be saved to file ../outside_state.txt",
                             "The exception report could not be written to exceptions/current.txt"})
        EXPECT_TRUE(contains(r.out, said)) << said << "\n" << r.out;
    EXPECT_FALSE(contains(r.out, "saved to file game_state.txt.")) << r.out;
}

// exit from the game's tick or the prompt ends the run as a quit request does: the running
// recording is saved, the console history kept, the status the one given. In the game the
// code after exit does not run, and a game's `rescue => e` does not stop it; the prompt, like
// quit, lets the step finish.
TEST(Reliability, ExitEndsTheRunThroughTheShutdownWithItsStatus)
{
    e2e_game g("exit");
    struct {
        const char *tick; // the game's tick at tick 30
        int status;
        bool goes_on;     // whether the tick's code after it runs
    } rows[] = {
        {"exit 3", 3, false},
        {"begin; exit false; rescue => e; $zoq.ffi_file.write 'after.txt', e.to_s; end", 1, false},
        {"$console.current_input_str = 'exit'; $console.eval_the_set_command", 0, true},
    };
    for (const auto &row : rows) {
        for (const char *stale : {"game/after.txt", "console_history.txt"}) remove((g.root + "/" + stale).c_str());
        system(("rm -f '" + g.root + "'/game/replay_*.txt").c_str());
        g.write("game/app/main.rb", std::string("def tick args\n  if args.tick_count == 30\n    ") + row.tick +
                                        "\n    $zoq.ffi_file.write 'after.txt', 'ran on'\n  end\nend\n");
        e2e_run r = g.run({"game", "--record", "--seed", "4"});
        EXPECT_EQ(row.status, r.status) << row.tick << "\n" << r.out << r.err;
        EXPECT_EQ(row.goes_on, g.exists("game/after.txt")) << row.tick << ": " << g.read("game/after.txt");
        EXPECT_TRUE(contains(replay_in(g, "game"), "seed 4\n")) << row.tick;
        EXPECT_TRUE(contains(r.out, "Quit requested")) << row.tick;
    }
    std::string history = g.read("console_history.txt");
    EXPECT_EQ("\nexit", history.substr(history.rfind('\n'))) << history;
}

// exit while the game's files load ends the run with its status; it is no error to report.
TEST(Reliability, ExitWhileTheGameLoadsEndsTheRunWithItsStatusAndNoError)
{
    e2e_game g("exit_at_load");
    g.write("game/app/main.rb", "exit 2\ndef tick args\nend\n");
    e2e_run r = g.run({"game"});
    EXPECT_EQ(2, r.status) << r.out << r.err;
    EXPECT_FALSE(contains(r.out + r.err, "ExitRequest")) << r.out << r.err;
}

// A game stuck in its tick, idle or still printing, ends on SIGTERM with a failure; what it
// printed reaches the file whole and once, in order, though it goes on printing meanwhile.
TEST(Reliability, AGameThatNeverComesBackFromItsTickEndsOnSigtermWithAFailure)
{
    e2e_game g("stuck");
    for (const char *stuck : {"loop { }", "i = 0; loop { puts \"line #{i}\"; i += 1 }"}) {
        remove((g.root + "/game/ready.txt").c_str());
        g.write("game/app/main.rb", std::string("def tick args\n"
                                                "  return unless args.tick_count == 2\n"
                                                "  $zoq.ffi_file.write 'ready.txt', 'x'\n  ") +
                                        stuck + "\nend\n");
        e2e_signal term;
        term.when_exists = "game/ready.txt";
        e2e_run r = g.run({"game"}, 60, {}, &term);
        EXPECT_EQ(1, r.status) << stuck << r.err;
        const char *said = "The game did not stop within 5 seconds of the request to quit";
        EXPECT_TRUE(contains(r.out, said)) << stuck;
        EXPECT_TRUE(contains(r.err, said)) << stuck << r.err;
        EXPECT_TRUE(contains(g.read("logs/log.txt"), said)) << stuck;
        std::string printed = g.read("logs/puts.txt");
        long expected = 0, misplaced = 0, n;
        for (size_t at = printed.find("line "); at != std::string::npos; at = printed.find("line ", at + 1))
            if (sscanf(printed.c_str() + at, "line %ld", &n) == 1 && n != expected++) misplaced++;
        EXPECT_EQ(0, misplaced) << stuck << ": " << expected << " lines";
        EXPECT_TRUE(printed.empty() || printed.back() == '\n') << stuck;
    }
}

// Paused by an exception, with the console open over it, for twenty seconds: memory stays
// where it was once the console was up. The pause's first frames still grow the heap to
// where the collector holds it (about 11 MB over some 280 frames): the last ten seconds are
// measured, which a busy machine's slower frames still leave after that.
TEST(Reliability, AGamePausedByAnExceptionKeepsItsMemoryFlat)
{
    e2e_game g("paused");
    g.write("game/app/main.rb", "def tick args\n"
                                "  200.times { |i| log \"line #{i} \" * 20 } if args.tick_count == 1\n"
                                "  raise 'paused on purpose' if args.tick_count == 2\n"
                                "end\n");
    e2e_signal term;
    term.when_exists = "exceptions/current.txt";
    term.after_ms = 20000;
    e2e_run r = g.run({"game"}, 60, {}, &term);
    EXPECT_EQ(0, r.status) << r.err;
    ASSERT_GT(r.rss.size(), 100u);
    // From ten seconds after the report on.
    double paused_at = r.rss.back().first - 20;
    long first = 0, most = 0;
    for (const auto &sample : r.rss) {
        if (sample.first < paused_at + 10) continue;
        if (!first) first = sample.second;
        if (sample.second > most) most = sample.second;
    }
    EXPECT_LT(most - first, 8 * 1024) << "kB grown while paused";
}

// An option naming a file that cannot be used says so and, where the run is only that
// file, fails: a missing file, and one that raises or does not parse.
TEST(Reliability, AnOptionsMissingFileIsSaidAndFailsTheRun)
{
    e2e_game g("options");
    g.write("game/app/main.rb", "def tick args\n  $zoq.request_quit if args.tick_count == 5\nend\n");
    g.write("game/app/raises.rb", "raise 'eval broke'\n");
    g.write("game/app/parses_not.rb", "def x\n");
    struct {
        std::vector<std::string> args;
        int status;
        const char *said;
    } rows[] = {
        {{"game", "--eval", "nosuch.rb", "--no-tick"}, 1, "File does not exist: nosuch.rb"},
        {{"game", "--eval", "app/raises.rb", "--no-tick"}, 1, "app/raises.rb could not be run: eval broke"},
        {{"game", "--eval", "app/parses_not.rb", "--no-tick"}, 1, "app/parses_not.rb could not be run:"},
        {{"game", "--replay", "nosuch.txt"}, 0, "The replay file nosuch.txt could not be read"},
    };
    for (const auto &row : rows) {
        e2e_run r = g.run(row.args);
        EXPECT_EQ(row.status, r.status) << row.said << "\n" << r.out << r.err;
        EXPECT_TRUE(contains(r.out, row.said)) << r.out;
        EXPECT_TRUE(contains(g.read("logs/log.txt"), row.said)) << row.said;
    }
}
