// The log files of a running copy of the executable: kept open between lines, yet nothing
// logged is lost when the process dies on a signal, and a log that cannot be written (a full
// disk: a small tmpfs mounted over the logs folder) is said once and never cut mid-line.
#include "e2e/e2e.h"
#include "support/small_disk.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

namespace {

// The game logs and prints a line, says it is ready, then never finishes its tick (the line
// is still in the step's buffer when the signal comes), or leaves through `exit` at once.
std::string ending_game(const char *end)
{
    return std::string("def tick args\n"
                       "  return unless args.tick_count == 1\n"
                       "  log 'logged before the end'\n"
                       "  puts 'printed before the end'\n"
                       "  $zoq.ffi_file.write 'ready.txt', 'x'\n  ") +
           end + "\nend\n";
}

} // namespace

TEST(Log, LinesLoggedInAStepReachTheFilesBeforeAFatalSignalOrAnExitEndsTheProcess)
{
    e2e_game g("log_signals");
    // The crash report's own signal exits 1; the others end the process as they always did.
    struct { int number, status; } cases[] = {{SIGSEGV, 1}, {SIGABRT, -SIGABRT}, {SIGBUS, -SIGBUS}, {0, 0}};
    for (const auto &c : cases) {
        remove((g.root + "/game/ready.txt").c_str());
        remove((g.root + "/logs/log.txt").c_str());
        g.write("game/app/main.rb", ending_game(c.number ? "loop { }" : "exit 0"));
        e2e_signal sig;
        sig.when_exists = "game/ready.txt";
        sig.number = c.number;
        e2e_run r = g.run({"game"}, 30, {}, c.number ? &sig : nullptr);
        EXPECT_EQ(c.status, r.status) << c.number << r.err;
        EXPECT_TRUE(contains(g.read("logs/log.txt"), "logged before the end\n")) << c.number;
        EXPECT_TRUE(contains(g.read("logs/puts.txt"), "printed before the end\n")) << c.number;
    }
}

TEST(Log, AFullDiskIsSaidOnceOnStandardErrorAndTheLogEndsOnAWholeLine)
{
    e2e_game g("log_full_disk");
    small_disk disk(g.root + "/logs", "32k");
    SKIP_UNLESS_MOUNTED(disk);
    // About 20 KB a tick: the disk is full by the second tick.
    g.write("game/app/main.rb", "def tick args\n"
                                "  200.times { |i| log \"tick #{args.tick_count} line #{i} \" + 'x' * 80 }\n"
                                "  $zoq.request_quit if args.tick_count == 10\n"
                                "end\n");
    e2e_run r = g.run({"game"}, 60);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(1, occurrences(r.err, "logs/log.txt could not be written")) << r.err;
    std::string log = g.read("logs/log.txt");
    ASSERT_GT(log.size(), 1000u);
    EXPECT_EQ('\n', log.back()) << log.substr(log.size() - 200);
    EXPECT_TRUE(contains(r.out, "tick 10 line 199 ")); // standard output still had every line
}

TEST(Log, ALogThatCannotBeOpenedAtStartIsSaidOncePerFile)
{
    e2e_game g("log_unopenable");
    g.write("logs", "a file where the logs folder would be");
    g.write("game/app/main.rb", "def tick args\n"
                                "  log \"logged #{args.tick_count}\"\n"
                                "  puts \"printed #{args.tick_count}\"\n"
                                "  $zoq.request_quit if args.tick_count == 5\n"
                                "end\n");
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    for (const char *file : {"logs/log.txt", "logs/puts.txt"})
        EXPECT_EQ(1, occurrences(r.err, std::string(file) + " could not be written (open: ")) << file << r.err;
    EXPECT_TRUE(contains(r.out, "logged 5") && contains(r.out, "printed 5")) << r.out;
}
