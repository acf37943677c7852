// A game that breaks (a file that raises while it loads, on start or on a later save, or an
// exception whose own text raises) is reported as any exception in its tick is: the report
// file names the game's own line, the console shows it, the game waits paused, and saving
// the mended file resumes it.
#include "e2e/e2e.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>

// Written when the mended file loads: what the console and the pause were at that moment.
static const char *probe = "$zoq.ffi_file.write_root 'at_mend.txt', "
                           "[$console.visible?, $zoq.paused?, *$console.log].join(\"\\n\")\n";
static const char *resuming_tick = "def tick args\n"
                                   "  $zoq.ffi_file.write_root 'resumed.txt', 'x'\n"
                                   "  $zoq.request_quit\n"
                                   "end\n";

TEST(LoadReport, ABreakingFileIsReportedWithItsLinePausesTheGameAndResumesOnceSaved)
{
    struct breakage {
        const char *name;
        std::vector<std::pair<std::string, std::string>> files; // path in the game, source
        std::string mended_file;                                // saved again, mended
        std::vector<std::string> reported;                      // in the report file, the log and the console
        int loads;                                              // of the mended file that succeeded, the last the mend
    };
    const std::string broken_tick = "def tick args\n  $zoq.ffi_file.write_root 'ticked_broken.txt', 'x'\nend\n";
    for (const breakage &b : std::vector<breakage>{
             {"main_raises", {{"app/main.rb", broken_tick + "nil.hp\n"}}, "app/main.rb",
              {"Unhandled method_missing with name :hp", "*** app/main.rb:4"}, 1},
             {"required_raises",
              {{"app/main.rb", "require 'app/lib.rb'\n" + std::string(resuming_tick)},
               {"app/lib.rb", "def lib_value; 1; end\n\n\nraise 'the level table is missing'\n"}},
              "app/lib.rb", {"the level table is missing", "*** app/lib.rb:4"}, 1},
             // Past the first second: a file changed earlier than that is not queued again.
             {"reload_raises",
              {{"app/main.rb", "def tick args\n  $zoq.ffi_file.write 'app/main.rb', $zoq.ffi_file.read('broken.rb') "
                               "if args.tick_count == 90\nend\n"},
               {"broken.rb", broken_tick + "load_levels\n"}},
              "app/main.rb", {"Undefined method load_levels", "*** app/main.rb:4"}, 2},
             // Its message, inspect and backtrace all raise.
             {"text_raises",
              {{"app/main.rb", "class LevelError < StandardError\n"
                               "  def initialize(l) @l = l; super() end\n"
                               "  def message; \"level #{@l.fetch(:name)} is broken\" end\n"
                               "  def inspect; raise 'no inspect' end\n"
                               "  def backtrace; raise 'no backtrace' end\n"
                               "end\n"
                               "def tick args\n  raise LevelError.new({}) if args.tick_count == 90\nend\n"}},
              "app/main.rb",
              {"LevelError (its message raised KeyError: Key not found: :name)", "*** app/main.rb:8:in tick"}, 2},
         }) {
        e2e_game g(std::string("load_report_") + b.name);
        for (const auto &file : b.files) g.write("game/" + file.first, file.second);
        e2e_signal mend;
        mend.when_exists = "exceptions/current.txt";
        mend.number = SIGCONT; // nothing to stop: the game goes on
        std::string report;
        mend.before = [&] {
            report = g.read("exceptions/current.txt");
            std::string path = g.root + "/game/" + b.mended_file;
            g.write("game/" + b.mended_file, std::string(probe) + (b.mended_file == "app/main.rb" ? resuming_tick : ""));
            // Dated ahead: the reload poll compares whole seconds.
            timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
            utimensat(AT_FDCWD, path.c_str(), times, 0);
        };
        e2e_run r = g.run({"game"}, 25, {}, &mend);
        EXPECT_EQ(0, r.status) << b.name << r.out;
        std::string at_mend = g.read("at_mend.txt");
        // The console wraps long lines where they had a blank.
        auto unwrapped = [](std::string text) {
            for (char &c : text) c = c == '\n' ? ' ' : c;
            return text;
        };
        // The console was open over the paused game when the mended file came.
        EXPECT_EQ(0u, at_mend.find("true\ntrue\n")) << b.name << at_mend;
        for (const std::string &text : b.reported) {
            EXPECT_TRUE(contains(report, text)) << b.name << ": " << text << "\n" << report;
            EXPECT_TRUE(contains(r.out, text)) << b.name << ": " << text << "\n" << r.out;
            EXPECT_TRUE(contains(unwrapped(at_mend), unwrapped(text))) << b.name << ": " << text << "\n" << at_mend;
        }
        // A load that raised is not "reloaded".
        std::string reloaded = "=" + b.mended_file + "= reloaded.";
        EXPECT_EQ(b.loads, occurrences(r.out, reloaded)) << b.name << r.out;
        EXPECT_LT(r.out.find(b.reported[0]), r.out.rfind(reloaded)) << b.name << r.out;
        EXPECT_TRUE(g.exists("resumed.txt")) << b.name << r.out;
        EXPECT_FALSE(g.exists("ticked_broken.txt")) << b.name << r.out;
    }
}
