// Whole-file reading through PhysicsFS, and files replaced whole or not at all.
#include "base/file_failures.h"
#include "base/files.h"
#include "base/logfile.h"
#include "support/host_test.h"
#include "support/small_disk.h"
#include "support/test_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <physfs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <string.h>
#include <unistd.h>
#include <vector>

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

// The kind and permissions of what stands at the path ("100644" for a file), or "missing".
static std::string mode_of(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "missing";
    char text[16];
    snprintf(text, sizeof text, "%o", (unsigned)st.st_mode);
    return text;
}

// Whether a ".NAME.partial" was left in the folder.
static bool partials_left(const std::string &dir)
{
    DIR *d = opendir(dir.c_str());
    bool found = false;
    while (dirent *e = d ? readdir(d) : nullptr) found = found || strstr(e->d_name, ".partial");
    if (d) closedir(d);
    return found;
}

// A file that is replaced is written whole or not at all, its permissions kept; a path the
// file system refuses, or something other than a file at it, is refused and left alone.
TEST_F(Files, AReplacedFileIsWrittenWholeOrLeftAsItWas)
{
    const std::string dir = fx.game_dir;
    auto write = [&](const char *path, const std::string &text) {
        return storefile_write_override(dir.c_str(), path, text.data(), text.size());
    };
    EXPECT_TRUE(write("save/slot.txt", "old"));
    chmod((dir + "/save/slot.txt").c_str(), 0604);
    EXPECT_TRUE(write("save//slot.txt", "newer"));
    EXPECT_EQ("newer", read_file(dir + "/save/slot.txt"));
    EXPECT_EQ("100604", mode_of(dir + "/save/slot.txt"));

    mkfifo((dir + "/pipe").c_str(), 0644);
    mkdir((dir + "/folder").c_str(), 0755);
    symlink((dir + "/save/slot.txt").c_str(), (dir + "/link").c_str());
    struct {
        const char *path, *left; // what stands at the path afterwards
    } refused[] = {{"pipe", "10644"},          {"folder", "40755"},      {"link", "120777"},
                   {"save/../x.txt", "missing"}, {"./dot.txt", "missing"}, {"a:b.txt", "missing"}};
    for (const auto &r : refused) {
        EXPECT_FALSE(write(r.path, "lost")) << r.path;
        EXPECT_EQ(r.left, mode_of(dir + "/" + r.path)) << r.path;
    }
    EXPECT_FALSE(write("../outside.txt", "lost"));
    EXPECT_EQ("missing", mode_of(fx.root + "/outside.txt"));
    EXPECT_EQ("newer", read_file(dir + "/save/slot.txt"));
    EXPECT_FALSE(partials_left(dir) || partials_left(dir + "/save"));
}

// The log files are written in place, a line at a time: what stands at their path and is no
// file is refused, and a link is not followed out of the folder.
TEST_F(Files, ALogFileThatIsNoFileIsRefusedAndALinkIsNotFollowed)
{
    const std::string dir = fx.game_dir, outside = fx.root + "/outside.txt";
    mkdir((dir + "/logs").c_str(), 0755);
    std::ofstream(outside) << "kept";
    struct {
        const char *what;
        std::function<void(const std::string &)> make;
    } rows[] = {{"link", [&](const std::string &at) { symlink(outside.c_str(), at.c_str()); }},
                {"folder", [](const std::string &at) { mkdir(at.c_str(), 0755); }},
                {"fifo", [](const std::string &at) { mkfifo(at.c_str(), 0644); }}};
    for (const auto &row : rows) {
        const std::string at = dir + "/logs/log.txt";
        row.make(at);
        EXPECT_FALSE(logfile_write(dir.c_str(), "logs/log.txt", "line\n", 5, 0)) << row.what;
        EXPECT_FALSE(logfile_write(dir.c_str(), "logs/log.txt", "line\n", 5, 1)) << row.what;
        logfile_close();
        EXPECT_EQ("kept", read_file(outside)) << row.what;
        remove(at.c_str());
    }
    EXPECT_TRUE(logfile_write(dir.c_str(), "logs/log.txt", "line\n", 5, 0));
    logfile_close();
    EXPECT_EQ("line\n", read_file(dir + "/logs/log.txt"));
}

// A log removed while it stands open is made again at the next flush, and so is its logs
// folder; the write directory itself is not: one removed stays removed.
TEST_F(Files, ALogWhoseWriteDirectoryWasRemovedIsNotMadeAgainThere)
{
    struct {
        const char *removed;
        const char *left; // the log afterwards, "" when there is none
    } rows[] = {{"logs", "two\n"}, {"", ""}};
    for (const auto &row : rows) {
        const std::string dir = fx.root + "/write";
        make_dirs(dir);
        ASSERT_TRUE(logfile_write(dir.c_str(), "logs/log.txt", "one\n", 4, 0));
        logfile_flush();
        ASSERT_EQ(0, system(("rm -rf '" + dir + "/" + row.removed + "'").c_str()));
        logfile_write(dir.c_str(), "logs/log.txt", "two\n", 4, 1);
        logfile_flush();
        logfile_write(dir.c_str(), "logs/log.txt", "", 0, 1);
        logfile_close();
        EXPECT_EQ(row.left, read_file(dir + "/logs/log.txt")) << row.removed;
        struct stat st;
        EXPECT_EQ(*row.left != 0, stat(dir.c_str(), &st) == 0) << row.removed;
        ASSERT_EQ(0, system(("rm -rf '" + dir + "'").c_str()));
    }
}

TEST_F(Files, OnAFullDiskAFailedWriteLeavesTheOldFileAsItWas)
{
    small_disk disk(fx.root + "/small", "64k");
    SKIP_UNLESS_MOUNTED(disk);
    const std::string old_save(20000, 'o'), new_save(60000, 'n');
    auto write = [&](const std::string &text) {
        return storefile_write_override(disk.dir.c_str(), "save.txt", text.data(), text.size());
    };
    ASSERT_TRUE(write(old_save));
    EXPECT_FALSE(write(new_save));
    std::string kept = read_file(disk.dir + "/save.txt");
    EXPECT_TRUE(kept == old_save) << kept.size() << " bytes, beginning " << kept.substr(0, 8);
    EXPECT_FALSE(partials_left(disk.dir));
    // Room again: the next write replaces it.
    EXPECT_TRUE(write("short"));
    EXPECT_EQ("short", read_file(disk.dir + "/save.txt"));
}

// One writer's version of a file: a first line naming writer and number, then bytes that
// follow from both, so part of a version, or two versions in one file, does not pass as whole.
static std::string version_text(char writer, int number)
{
    std::string text = writer + (" " + std::to_string(number)) + "\n";
    for (int block = 0; text.size() < (writer == 'A' ? 1000000u : 700000u); block++)
        text += std::string(4096, (char)('a' + (number * 7 + writer + block) % 26));
    return text;
}

static bool is_whole_version(const std::string &text)
{
    return text.size() > 2 && (text[0] == 'A' || text[0] == 'B') && text == version_text(text[0], atoi(&text[2]));
}

// Two processes replace the same file again and again while a third reads it: every version
// read, and the file each write that answered true left, is one writer's whole bytes.
TEST_F(Files, TwoProcessesReplacingOneFileNeverLeaveAMix)
{
    const std::string dir = fx.game_dir;
    const int writes = 100;
    pid_t writers[2];
    for (int w = 0; w < 2; w++) {
        const char name = w ? 'B' : 'A';
        writers[w] = fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] > 0) continue;
        int torn = 0, refused = 0;
        for (int n = 0; n < writes; n++) {
            std::string text = version_text(name, n);
            if (!storefile_write_override(dir.c_str(), "save.txt", text.data(), text.size())) refused++;
            else if (!is_whole_version(read_file(dir + "/save.txt"))) torn++;
        }
        std::string result = std::to_string(torn) + " torn, " + std::to_string(refused) + " refused";
        write_file(fx.root + "/writer" + name + ".txt", result);
        _exit(0);
    }
    int reads = 0, mixed = 0, running = 2;
    while (running > 0) {
        std::string text = read_file(dir + "/save.txt");
        if (!text.empty()) {
            reads++;
            mixed += !is_whole_version(text);
        }
        for (pid_t &w : writers)
            if (w > 0 && waitpid(w, nullptr, WNOHANG) == w) w = 0, running--;
    }
    EXPECT_EQ("0 torn, 0 refused", read_file(fx.root + "/writerA.txt"));
    EXPECT_EQ("0 torn, 0 refused", read_file(fx.root + "/writerB.txt"));
    EXPECT_EQ(0, mixed) << "of " << reads << " reads";
    EXPECT_TRUE(is_whole_version(read_file(dir + "/save.txt")));
    EXPECT_FALSE(partials_left(dir));
}

// A partial file no writer holds any more (its process died mid-write) is removed by the next
// write of the same file, at that write's slot and the ones above it, also for a name whose
// partial holds only its beginning; one a live writer holds and another file's stay.
TEST_F(Files, TheNextWriteRemovesTheStalePartialsOfItsFileOnly)
{
    const std::string dir = fx.game_dir + "/save", long_name = std::string(246, 'l') + ".txt";
    struct {
        std::string file, partial;
        bool held; // by a writer still writing
        bool stays;
    } rows[] = {{"slot.txt", ".slot.txt.0.partial", true, true},
                {"slot.txt", ".slot.txt.1.partial", false, false},
                {"slot.txt", ".slot.txt.2.partial", false, false},
                {"slot.txt", ".other.txt.1.partial", false, true},
                {long_name, "." + long_name.substr(0, 243) + ".0.partial", false, false}};
    std::vector<int> holders;
    for (const auto &row : rows) {
        ASSERT_TRUE(write_file(dir + "/" + row.partial, "half"));
        if (!row.held) continue;
        holders.push_back(open((dir + "/" + row.partial).c_str(), O_RDONLY));
        ASSERT_EQ(0, flock(holders.back(), LOCK_EX | LOCK_NB));
    }
    for (const auto &row : rows) {
        EXPECT_TRUE(storefile_write_override(fx.game_dir.c_str(), ("save/" + row.file).c_str(), "whole", 5));
        EXPECT_EQ("whole", read_file(dir + "/" + row.file));
    }
    for (const auto &row : rows) EXPECT_EQ(row.stays, mode_of(dir + "/" + row.partial) != "missing") << row.partial;
    for (int fd : holders) close(fd);
}
