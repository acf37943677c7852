// Whole-file reading through PhysicsFS.
#include "host/files.h"
#include "support/host_test.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <physfs.h>
#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <string.h>
#include <unistd.h>

class Files : public HostTest {};

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

// Writing, appending and modification times are driven through FFI::File (ffi_file_test.rb).
TEST_F(Files, TheFormatterGrowsToItsText)
{
    char *s = sprintf_alloc("%s/%d", "mygame", 42);
    EXPECT_STREQ("mygame/42", s);
    SDL_free(s);
    std::string long_text(5000, 'z');
    s = sprintf_alloc("%s", long_text.c_str());
    EXPECT_EQ(long_text, s);
    SDL_free(s);
}
