// The game side's own steps: the joined command line, the logical size and a runtime
// constructor that raises.
#include "base/ruby.h"
#include "host/game.h"
#include "support/host_fixture.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

TEST(Game, ArgvJoinKeepsItsLimitAndLeavesOutEverythingAfterAnOverflow)
{
    std::string long_arg(230, 'x');
    char *argv[] = {(char *)"./zintarel", (char *)"game", (char *)long_arg.c_str(), (char *)"--speed", (char *)"2"};
    char joined[GAME_ARGV_BYTES];
    game_join_argv(5, argv, joined);
    EXPECT_EQ(std::string("./zintarel game ") + long_arg + " ", std::string(joined));
    std::string short_arg(200, 'x');
    char *argv_fits[] = {(char *)"./zintarel", (char *)"game", (char *)short_arg.c_str(), (char *)"--speed", (char *)"2"};
    game_join_argv(5, argv_fits, joined);
    EXPECT_EQ(std::string("./zintarel game ") + short_arg + " --speed 2 ", std::string(joined));
    std::string longer(250, 'y');
    char *argv2[] = {(char *)"./zintarel", (char *)longer.c_str(), (char *)"a"};
    game_join_argv(3, argv2, joined);
    EXPECT_STREQ("./zintarel ", joined); // once one is left out, all later ones are too
    for (int i = 11; i < GAME_ARGV_BYTES; i++) ASSERT_EQ(0, joined[i]);
}

TEST(Game, LogicalSizeFollowsThePhoneRule)
{
    struct { int32_t w, h, logical_w, logical_h; } rows[] = {
        {667, 375, 1280, 720}, {375, 667, 720, 1280}, {800, 600, 800, 600}, {896, 896, 1280, 720}};
    for (const auto &r : rows) {
        int32_t w = 0, h = 0;
        game_logical_size(r.w, r.h, &w, &h);
        EXPECT_EQ(r.logical_w, w) << r.w << "x" << r.h;
        EXPECT_EQ(r.logical_h, h) << r.w << "x" << r.h;
    }
}

TEST(Game, RaisingConstructorExitsMinusOneWithItsTextOnStandardOutput)
{
    int pipefd[2];
    ASSERT_EQ(0, pipe(pipefd));
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        host_fixture fx;
        if (!host_fixture_up(&fx, false)) _exit(3);
        // An exception logged earlier must not be taken for the constructor's.
        ruby_call0(test_game.interpreter, mrb_nil_value(), "no_such_method");
        host_fixture_eval("class ZOQ::Runtime; def initialize(*a); raise ArgumentError, 'bad runtime'; end; end");
        char *argv[] = {(char *)"./zintarel"};
        game_pre_init(&test_game, 1, argv);
        game_init(&test_game, 1, argv);
        _exit(0);
    }
    close(pipefd[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(255, WEXITSTATUS(status));
    EXPECT_NE(std::string::npos, out.find("bad runtime")) << out;
    EXPECT_NE(std::string::npos, out.find("(ArgumentError)")) << out;
}
