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
    struct {
        const char *file, *source;
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
         1, {"** Running: test_a"}},
        {"tests/focus.rb",
         "def focus_test_this args, assert; assert.ok!; end\ndef test_not_this args, assert; raise 'ran'; end\n", 0,
         {"1 test(s) passed.", "**** :focus_test_this", "0 test(s) failed."}},
    };
    for (const auto &r : runs) {
        if (r.source) g.write(std::string("game/") + r.file, r.source);
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
