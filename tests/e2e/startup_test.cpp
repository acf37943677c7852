// Start-up, quitting and the fatal paths of the executable, run headless on real folders.
#include "e2e/e2e.h"

#include <gtest/gtest.h>

static const char *quit_after_three =
    "def tick args\n"
    "  puts \"tick #{args.tick_count}\"\n"
    "  $zoq.request_quit if args.tick_count == 2\n"
    "end\n";

TEST(Startup, GameTicksPrintsAndQuitsCleanly)
{
    e2e_game g("quit");
    g.write("mygame/app/main.rb", quit_after_three);
    e2e_run r = g.run({"mygame"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("tick 0\ntick 1\ntick 2\n")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("tick 3")) << r.out;
}

TEST(Startup, MygameBesideTheExecutableIsTheDefaultGame)
{
    e2e_game g("mygame");
    g.write("mygame/app/main.rb", quit_after_three);
    e2e_run r = g.run({});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("tick 2")) << r.out;
}

TEST(Startup, SigtermEndsARunWithStatusZero)
{
    e2e_game g("sigterm");
    g.write("game/app/main.rb", "def tick args; end\n");
    e2e_run r = g.run({"game"}, 20, {}, 700);
    EXPECT_EQ(0, r.status) << r.err;
}

TEST(Startup, FatalFailuresExitOneWithTheirMessage)
{
    e2e_game g("fatal");
    e2e_run missing = g.run({"no-such-folder"});
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("Startup failure!:\nCouldn't mount 'no-such-folder' directory:"))
        << missing.err;

    g.write("game/app/main.rb", "def tick args; end\n");
    ASSERT_EQ(0, remove((g.root + "/font.ttf").c_str()));
    e2e_run nofont = g.run({"game"});
    EXPECT_EQ(1, nofont.status);
    EXPECT_NE(std::string::npos, nofont.err.find("Couldn't create render context:")) << nofont.err;
}

TEST(Startup, WindowSizesBelowOneFallBackToTheDefault)
{
    e2e_game g("size");
    g.write("game/app/main.rb", "def tick args\n  $zoq.request_quit if args.tick_count == 1\nend\n");
    e2e_run r = g.run({"game", "--window_width", "0", "--window_height", "-5"});
    EXPECT_EQ(0, r.status) << r.err;
}

TEST(Startup, SegmentationFaultIsReported)
{
    e2e_game g("segv");
    g.write("game/app/main.rb", "def tick args; end\n");
    e2e_run r = g.run({"game"}, 20, {}, 700, 11);
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("Error: signal 11:\n")) << r.err;
}
