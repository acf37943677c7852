// trace! in a running game: the call tree in logs/trace.txt and the traced method named by
// the exception report when one of them fails.
#include "e2e/e2e.h"

#include <gtest/gtest.h>

TEST(Trace, ATracedGameWritesItsCallTreeAndItsFailureNamesTheMethod)
{
    e2e_game g("trace");
    g.write("game/app/main.rb",
            "class Hero\n"
            "  def move dx, dy\n    @x = (@x || 0) + dx\n    clamp @x, 100\n  end\n"
            "  def clamp v, max\n    v > max ? max : v\n  end\n"
            "  def jump height\n    raise \"too high: #{height}\" if height > 5\n    height\n  end\n"
            "end\n"
            "def tick args\n"
            "  $hero ||= Hero.new\n"
            "  trace! $hero if args.tick_count == 0\n"
            "  $hero.move 1, 2\n"
            "  2000.times { |i| $hero.clamp i, 10 } if args.tick_count == 1\n"
            "  $hero.jump args.tick_count\n"
            "end\n");
    e2e_signal stop;
    stop.when_exists = "exceptions/current.txt";
    stop.after_ms = 200;
    e2e_run run = g.run({"game"}, 30, {}, &stop);
    EXPECT_EQ(0, run.status) << run.err;
    std::string trace = g.read("logs/trace.txt");
    for (const char *text : {"Tracing move on Hero.\n", "Tracing clamp on Hero.\n", "\n  move(1, 2)\n          clamp(1, 100)\n",
                             "ms success: clamp\n ", "ms success: move\n", "\n  jump(6)\n  failed: jump\n          too high: 6",
                             "Hero#clamp: ", "ms avg"})
        EXPECT_NE(std::string::npos, trace.find(text)) << text << "\n" << trace.substr(0, 3000);
    EXPECT_LE(trace.size(), 1024u * 1024u);
    std::string report = g.read("exceptions/current.txt");
    EXPECT_NE(std::string::npos, report.find("** Method: jump")) << report;
    EXPECT_NE(std::string::npos, report.find("*** jump(6)")) << report;
    EXPECT_NE(std::string::npos, run.out.find("Trace data exported to logs/trace.txt.")) << run.out;
}
