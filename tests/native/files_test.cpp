// Whole-file reading through PhysicsFS.
#include "base/file_failures.h"
#include "base/files.h"
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

// A failed file is skipped while it stays as it was; a change or an appearing file is tried again.
TEST_F(Files, FailuresAreRememberedUntilTheFileChanges)
{
    file_failures *failures = file_failures_create();
    ASSERT_TRUE(failures);
    write_file(fx.game_dir + "/broken.png", "not a picture");
    file_failures_record(failures, "broken.png", 1);
    file_failures_record(failures, "absent.png", 1);
    EXPECT_TRUE(file_failures_unchanged(failures, "broken.png", 2));
    EXPECT_TRUE(file_failures_unchanged(failures, "absent.png", 2));
    EXPECT_FALSE(file_failures_unchanged(failures, "never-failed.png", 2));

    write_file(fx.game_dir + "/broken.png", "a longer text, still not a picture");
    write_file(fx.game_dir + "/absent.png", "here now");
    EXPECT_TRUE(file_failures_unchanged(failures, "broken.png", 2)) << "looked at once per pass";
    EXPECT_FALSE(file_failures_unchanged(failures, "broken.png", 3));
    EXPECT_FALSE(file_failures_unchanged(failures, "absent.png", 3));

    file_failures_record(failures, "broken.png", 3);
    EXPECT_TRUE(file_failures_unchanged(failures, "broken.png", 4));
    file_failures_forget(failures, "broken.png");
    EXPECT_FALSE(file_failures_unchanged(failures, "broken.png", 5));
    file_failures_delete(failures);
}
