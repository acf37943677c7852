// "--test FILE" as a game's own CI runs it: the tests' summary on standard output and an
// exit status that says whether they passed, whatever is wrong with the file.
#include "e2e/e2e.h"

#include <gtest/gtest.h>

TEST(TestOption, TheSummaryIsPrintedAndTheExitStatusSaysWhetherTheTestsPassed)
{
    e2e_game g("test_option");
    g.write("game/app/main.rb", "def tick args; $zoq.ffi_file.write 'ticked.txt', 'x'; end\ndef double x; x * 2; end\n");
    const char *mixed = "def test_passes args, assert; assert.equal! double(2), 4; end\n"
                        "def test_fails args, assert; assert.equal! double(2), 5, 'doubling'; end\n"
                        "def test_asserts_nothing args, assert; end\n"
                        "def test_misses_assert args; end\n";
    g.write("outside.rb", "def test_a args, assert; assert.ok!; end\n");
    const char *inside = "File must be inside the game folder";
    struct {
        std::string file;
        const char *source;
        int status;
        std::vector<std::string> printed;
    } runs[] = {
        {"tests/mixed.rb", mixed, 1,
         {"1 test(s) passed.", "**** :test_passes", "1 test(s) inconclusive.", "**** :test_asserts_nothing",
          "1 test(s) invalid.", "**** :test_misses_assert", "1 test(s) failed.", "**** Test name: :test_fails",
          "expected:\n5.\ndoubling"}},
        {"tests/passing.rb", "def test_a args, assert; assert.ok!; end\ndef test_b args, assert; assert.true! 1; end\n",
         0, {"2 test(s) passed.", "0 test(s) failed."}},
        {"tests/none.rb", "def helper; end\n", 1, {"No tests were found."}},
        {"tests/missing.rb", nullptr, 1, {"File does not exist: tests/missing.rb"}},
        {"tests/syntax.rb", "def test_a args, assert\n  assert.ok!\n", 1,
         {"The test file tests/syntax.rb could not be loaded.", "syntax error"}},
        {"tests/raises.rb", "def test_a args, assert; assert.ok!; end\nundefined_thing_here\n", 1,
         {"The test file tests/raises.rb could not be loaded.", "undefined_thing_here"}},
        {"tests/starts.rb", "def test_a args, assert; assert.ok!; end\n$zoq.tests.start\n", 0, {"1 test(s) passed."}},
        {"tests/summary_fails.rb",
         "class BadMessage < StandardError; def message; raise 'no text'; end; end\n"
         "def test_a args, assert; raise BadMessage; end\n",
         1, {"** Running: test_a", "1 test(s) failed.", "BadMessage (its message raised RuntimeError: no text)"}},
        {"tests/focus.rb",
         "def focus_test_this args, assert; assert.ok!; end\ndef test_not_this args, assert; raise 'ran'; end\n", 0,
         {"1 test(s) passed.", "**** :focus_test_this", "0 test(s) failed."}},
        // exit ends the run with its summary (whichever of the two runs first), and can only make it fail.
        {"tests/exits.rb",
         "def test_fails args, assert; assert.equal! 1, 2; end\ndef test_exits args, assert; exit 0; end\n", 1,
         {"**** Test name: :test_exits\nexit 0 was called in this test: the tests after it did not run."}},
        {"tests/exits_first.rb", "def test_a args, assert; assert.ok!; end\nexit\n", 1,
         {"The test file tests/exits_first.rb called exit before its tests ran."}},
        {"../outside.rb", nullptr, 1, {inside}},
        {g.root + "/game/tests/passing.rb", nullptr, 1, {inside}},
    };
    for (const auto &r : runs) {
        if (r.source) g.write("game/" + r.file, r.source);
        // A run that does not end by itself is killed at the timeout, which its status shows.
        e2e_run run = g.run({"game", "--test", r.file}, 30);
        EXPECT_EQ(r.status, run.status) << r.file << "\n" << run.out << run.err;
        for (const std::string &text : r.printed) EXPECT_NE(std::string::npos, run.out.find(text)) << text << "\n" << run.out;
        EXPECT_EQ(std::string::npos, run.out.find("test_not_this")) << r.file;
        EXPECT_FALSE(g.exists("game/ticked.txt")) << r.file;
        // A file that starts the run itself is not run twice.
        size_t summaries = 0;
        for (size_t at = run.out.find("** Summary"); at != std::string::npos; at = run.out.find("** Summary", at + 1)) summaries++;
        EXPECT_GE(1u, summaries) << r.file;
    }
}

// The game's own code that does not load fails the run, saying why, before any test runs.
TEST(TestOption, AGameWhoseCodeDoesNotLoadFailsTheRunAndSaysWhy)
{
    e2e_game g("test_option_game");
    g.write("game/tests/t.rb", "def test_a args, assert; assert.ok!; end\n");
    struct {
        const char *main_rb;
        std::vector<std::string> printed;
    } games[] = {
        {"def tick args\n  args.outputs.labels << { x: 1\nend\n",
         {"The game's code could not be loaded, so its tests were not run.\n** app/main.rb", "syntax error"}},
        {"def tick args; end\nraise 'broken at load'\n",
         {"The game's code could not be loaded, so its tests were not run.\n** app/main.rb\nbroken at load"}},
        {"require 'app/more.rb'\ndef tick args; end\n", {"** app/more.rb\n", "undefined_name"}},
        {"def tick args; end\nexit\n", {"The run ended before its tests ran."}},
        {"class LevelError < StandardError; def message; raise KeyError, 'no :name'; end; end\n"
         "def tick args; end\nraise LevelError\n",
         {"** app/main.rb\nLevelError (its message raised KeyError: no :name)"}},
    };
    g.write("game/app/more.rb", "undefined_name\n");
    for (const auto &game : games) {
        g.write("game/app/main.rb", game.main_rb);
        e2e_run run = g.run({"game", "--test", "tests/t.rb"}, 30);
        EXPECT_EQ(1, run.status) << game.main_rb << run.out;
        for (const std::string &text : game.printed) EXPECT_NE(std::string::npos, run.out.find(text)) << text << "\n" << run.out;
        EXPECT_EQ(std::string::npos, run.out.find("test(s) passed")) << run.out;
    }
}
