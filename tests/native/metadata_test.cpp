// The game metadata file: its keys, bad lines, limits and defaults.
#include "host/metadata.h"
#include "support/host_fixture.h"
#include "support/test_files.h"

#include <functional>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <unistd.h>

class Metadata : public ::testing::Test {
  protected:
    host_fixture fx;
    void SetUp() override { ASSERT_TRUE(host_fixture_up(&fx, false)); }
    void TearDown() override { host_fixture_down(&fx); }
};

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
    std::string out = read_file(path, "<missing>");
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
