// Whole-file reading and writing through PhysicsFS, the metadata parser, the UTF-8
// decoder, the frame-rate counter and the PhysicsFS stream adapter.
#include "host/files.h"
#include "host/fps.h"
#include "host/metadata.h"
#include "host/physfsrwops.h"
#include "host/utf8.h"
#include "support/host_fixture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <physfs.h>
#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <functional>
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

class Metadata : public Files {};

static std::string capture_stderr(const std::function<void()> &body)
{
    fflush(stderr);
    char path[] = "/tmp/zintarel-stderr-XXXXXX";
    int fd = mkstemp(path);
    int saved = dup(2);
    dup2(fd, 2);
    body();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(fd);
    std::string out = slurp(path);
    remove(path);
    return out;
}

TEST_F(Metadata, KeysAreCaseInsensitiveAndValuesTrimmed)
{
    write_file(fx.game_dir + "/metadata/game_metadata.txt",
               "DEVID = me \r\ndevtitle=Me\ngameid=g\n# comment\n   # indented comment\n\ngametitle=G\nversion=1.0");
    game_metadata_record r;
    std::string err = capture_stderr([&] { EXPECT_EQ(1, load_metadata("metadata/game_metadata.txt", &r)); });
    EXPECT_EQ("", err);
    EXPECT_STREQ("me", r.devid);
    EXPECT_STREQ("Me", r.devtitle);
    EXPECT_STREQ("g", r.gameid);
    EXPECT_STREQ("G", r.gametitle);
    EXPECT_STREQ("1.0", r.version);
    EXPECT_STREQ("metadata/icon.png", r.icon);
}

TEST_F(Metadata, BadLinesAreReportedAndMissingKeysGiveTheDefaults)
{
    write_file(fx.game_dir + "/metadata/game_metadata.txt",
               "devid=me\ndevtitle=Me\ngameid\ncolour=blue\ngametitle=G\nversion=1\n");
    game_metadata_record r;
    std::string err = capture_stderr([&] { EXPECT_EQ(0, load_metadata("metadata/game_metadata.txt", &r)); });
    EXPECT_NE(std::string::npos, err.find("Invalid metadata on line 3, ignored\n")) << err;
    EXPECT_NE(std::string::npos, err.find("Unknown game metadata key 'colour', ignoring\n")) << err;
    EXPECT_NE(std::string::npos, err.find("Metadata file does not have all required fields!\n")) << err;

    game_metadata_forget();
    game_metadata_record *m = nullptr;
    capture_stderr([&] { m = game_metadata_mutable(); });
    EXPECT_STREQ("zintarel", m->devid);
    EXPECT_STREQ("Zintarel", m->devtitle);
    EXPECT_STREQ("hello-SDL", m->gameid);
    EXPECT_STREQ("Hello SDL", m->gametitle);
    EXPECT_STREQ("0.0.0.0.1", m->version);
    game_metadata_forget();
}

TEST_F(Metadata, ADuplicateKeyCannotStandInForAMissingOne)
{
    write_file(fx.game_dir + "/metadata/game_metadata.txt",
               "devid=a\ndevid=b\ndevid=c\ndevid=d\ndevid=e\n");
    game_metadata_record r;
    capture_stderr([&] { EXPECT_EQ(0, load_metadata("metadata/game_metadata.txt", &r)); });
    EXPECT_STREQ("e", r.devid);
}

TEST_F(Metadata, TooLargeValuesAreDroppedAndUncounted)
{
    write_file(fx.game_dir + "/metadata/game_metadata.txt",
               "devid=" + std::string(32, 'x') + "\ndevtitle=Me\ngameid=g\ngametitle=G\nversion=1\n");
    game_metadata_record r;
    std::string err = capture_stderr([&] { EXPECT_EQ(0, load_metadata("metadata/game_metadata.txt", &r)); });
    EXPECT_NE(std::string::npos, err.find("Metadata for key 'devid' is too large, ignoring!\n")) << err;
    EXPECT_STREQ("", r.devid);
}

TEST_F(Metadata, MissingFileLeavesTheIconEmpty)
{
    game_metadata_forget();
    game_metadata_record *m = game_metadata_mutable();
    EXPECT_STREQ("zintarel", m->devid);
    EXPECT_STREQ("", m->icon);
    game_metadata_forget();
}

TEST(Utf8, DecodesValidSequencesAndRejectsBadOnes)
{
    struct row {
        const char *bytes;
        uint32_t expect;
        int advance;
    } rows[] = {
        {"A", 0x41, 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xC0\x80", UTF8_INVALID, 2},
        {"\xED\xA0\x80", UTF8_INVALID, 3},
        {"\xED\xA0\x81", 0xD801, 3},
        {"\xE2\x28\xA1", UTF8_INVALID, 1},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xF4\x90\x80\x80", UTF8_INVALID, 4},
        {"\xEF\xBF\xBE", UTF8_INVALID, 3},
        {"\x80", UTF8_INVALID, 1},
        {"\xF8\x88\x80\x80\x80", UTF8_INVALID, 5},
        {"\xFC\x84\x80\x80\x80\x80", UTF8_INVALID, 6},
        {"\xE2\x82", UTF8_INVALID, 1},
    };
    for (const row &r : rows) {
        const char *p = r.bytes;
        EXPECT_EQ(r.expect, utf8codepoint(&p)) << r.bytes;
        EXPECT_EQ(r.advance, p - r.bytes) << r.bytes;
    }
    const char *end = "";
    EXPECT_EQ(0u, utf8codepoint(&end));
    EXPECT_EQ(0, *end);
}

TEST(Fps, SixteenMillisecondFramesSettleAtSixtyThree)
{
    fps_state s = {};
    uint32_t now = 0;
    for (int i = 0; i < 8; i++) {
        now += 16;
        fps_iteration_at(&s, now);
    }
    EXPECT_EQ(1, s.index); // eight calls of 16 ms close the first window
    for (int i = 0; i < 200; i++) {
        now += 16;
        fps_iteration_at(&s, now);
    }
    // every window is 128 ms and 8 frames once the ring holds only such windows
    now += 16;
    uint32_t at_close = 0;
    for (int i = 0; i < 8; i++) {
        at_close = fps_iteration_at(&s, now);
        now += 16;
    }
    EXPECT_EQ(63u, at_close);
    fps_state zero = {};
    EXPECT_EQ(0u, fps_iteration_at(&zero, 0));
}

TEST_F(Files, StreamAdapterSeeksReadsAndReportsErrors)
{
    write_file(fx.game_dir + "/r.txt", "0123456789");
    SDL_RWops *rw = PHYSFSRWOPS_openRead("r.txt");
    ASSERT_TRUE(rw);
    EXPECT_EQ(10, SDL_RWsize(rw));
    EXPECT_EQ(4, SDL_RWseek(rw, 4, RW_SEEK_SET));
    EXPECT_EQ(4, SDL_RWseek(rw, 0, RW_SEEK_CUR));
    char buf[8] = {};
    EXPECT_EQ(1u, SDL_RWread(rw, buf, 3, 1));
    EXPECT_STREQ("456", buf);
    EXPECT_EQ(3u, SDL_RWread(rw, buf, 1, 8)); // hits the end: what was read counts
    EXPECT_EQ(8, SDL_RWseek(rw, -2, RW_SEEK_END));
    EXPECT_EQ(-1, SDL_RWseek(rw, -1, RW_SEEK_SET));
    EXPECT_STREQ("Attempt to seek past start of file.", SDL_GetError());
    EXPECT_EQ(-1, SDL_RWseek(rw, 0, 42));
    EXPECT_STREQ("Invalid 'whence' parameter.", SDL_GetError());
    EXPECT_EQ(0u, SDL_RWwrite(rw, "x", 1, 1));
    EXPECT_EQ(0u, SDL_RWread(rw, buf, SIZE_MAX, 2)); // a byte count that would wrap
    EXPECT_EQ(0, SDL_RWclose(rw));

    EXPECT_EQ(nullptr, PHYSFSRWOPS_openRead("nothing.txt"));
    EXPECT_EQ(0, strncmp(SDL_GetError(), "PhysicsFS error: ", 17));
}
