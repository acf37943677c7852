// Whole-file reading and writing through PhysicsFS.
#include "host/files.h"
#include "support/host_fixture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <physfs.h>
#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <string.h>
#include <unistd.h>

static std::string slurp(const std::string &path) { return read_file(path, "<missing>"); }

class Files : public ::testing::Test {
  protected:
    host_fixture fx;
    void SetUp() override { ASSERT_TRUE(host_fixture_up(&fx, false)); }
    void TearDown() override { host_fixture_down(&fx); }
};

TEST_F(Files, LoadfileReadsRegularFilesOnly)
{
    write_file(fx.game_dir + "/empty.txt", "");
    write_file(fx.game_dir + "/data.bin", std::string("a\0b", 3));
    size_t length = 99;
    char *empty = loadfile("empty.txt", &length);
    ASSERT_TRUE(empty);
    EXPECT_EQ(0u, length);
    EXPECT_EQ(0, empty[0]);
    SDL_free(empty);
    char *data = loadfile("data.bin", &length);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string("a\0b", 3), std::string(data, length));
    SDL_free(data);

    length = 5;
    EXPECT_EQ(nullptr, loadfile("missing.txt", &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(nullptr, loadfile("app", &length)); // a directory
    mkfifo((fx.game_dir + "/pipe").c_str(), 0644);
    EXPECT_EQ(nullptr, loadfile("pipe", &length)); // would block or read nothing
}

TEST_F(Files, WritersCreateParentFoldersAndTruncateOrAppend)
{
    EXPECT_EQ(1, write_file_ex(0, "logs/a/b.txt", "one", 3));
    EXPECT_EQ("one", slurp(fx.base_dir + "/logs/a/b.txt"));
    EXPECT_EQ(1, write_file_ex(1, "logs/a/b.txt", "two", 3));
    EXPECT_EQ("onetwo", slurp(fx.base_dir + "/logs/a/b.txt"));
    EXPECT_EQ(1, write_file_ex(0, "logs/a/b.txt", "", 0));
    EXPECT_EQ("", slurp(fx.base_dir + "/logs/a/b.txt"));
    EXPECT_EQ(1, write_file_ex(0, "top.txt", "x", 1));
    EXPECT_EQ("x", slurp(fx.base_dir + "/top.txt"));

    EXPECT_EQ(1, storefile_write_override(fx.game_dir.c_str(), "saved/state.txt", "s", 1));
    EXPECT_EQ("s", slurp(fx.game_dir + "/saved/state.txt"));
    EXPECT_EQ(1, appendfile_write_override(fx.game_dir.c_str(), "saved/state.txt", "t", 1));
    EXPECT_EQ("st", slurp(fx.game_dir + "/saved/state.txt"));
}

TEST_F(Files, LastModTimeAndFormatter)
{
    write_file(fx.game_dir + "/m.txt", "m");
    EXPECT_GT(lastmodtime("m.txt"), 1000000000);
    EXPECT_EQ(-1, lastmodtime("nothing.txt"));
    char *s = sprintf_alloc("%s/%d", "mygame", 42);
    EXPECT_STREQ("mygame/42", s);
    SDL_free(s);
    std::string long_text(5000, 'z');
    s = sprintf_alloc("%s", long_text.c_str());
    EXPECT_EQ(long_text, s);
    SDL_free(s);
}
