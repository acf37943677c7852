// The game metadata file: its keys, bad lines, limits and defaults.
#include "base/metadata.h"
#include "support/host_test.h"
#include "support/test_files.h"

#include <functional>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <unistd.h>

class Metadata : public HostTest {};

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

TEST_F(Metadata, KeysAreCaseInsensitiveValuesTrimmedAndBadLinesReported)
{
    struct {
        std::string text;
        int complete;
        const char *devid, *gametitle, *reported;
    } cases[] = {
        {"DEVID = me \r\ndevtitle=Me\ngameid=g\n# comment\n   # indented comment\n\ngametitle=G\nversion=1.0", 1, "me",
         "G", ""},
        {"devid=me\ndevtitle=Me\ngameid\ncolour=blue\ngametitle=G\nversion=1\n", 0, "me", "G",
         "Invalid metadata on line 3, ignored\nUnknown game metadata key 'colour', ignoring\n"
         "Metadata file does not have all required fields!\n"},
        // A duplicate key cannot stand in for a missing one.
        {"devid=a\ndevid=b\ndevid=c\ndevid=d\ndevid=e\n", 0, "e", "", "Metadata file does not have all required fields!\n"},
        // A value too large is dropped and not counted.
        {"devid=" + std::string(32, 'x') + "\ndevtitle=Me\ngameid=g\ngametitle=G\nversion=1\n", 0, "", "G",
         "Metadata for key 'devid' is too large, ignoring!\nMetadata file does not have all required fields!\n"},
    };
    for (const auto &c : cases) {
        write_file(fx.game_dir + "/metadata/game_metadata.txt", c.text);
        game_metadata_record r = {};
        std::string err = capture_stderr([&] { EXPECT_EQ(c.complete, load_metadata("metadata/game_metadata.txt", &r)); });
        EXPECT_EQ(c.reported, err) << c.text;
        EXPECT_STREQ(c.devid, r.devid) << c.text;
        EXPECT_STREQ(c.gametitle, r.gametitle) << c.text;
        if (c.complete) {
            EXPECT_STREQ("Me", r.devtitle);
            EXPECT_STREQ("g", r.gameid);
            EXPECT_STREQ("1.0", r.version);
            EXPECT_STREQ("metadata/icon.png", r.icon);
        }
    }
    // An incomplete file gives the defaults.
    game_metadata_forget();
    game_metadata_record *m = nullptr;
    capture_stderr([&] { m = game_metadata_mutable(); });
    EXPECT_STREQ("zintarel Zintarel hello-SDL Hello SDL 0.0.0.0.1",
                 (std::string(m->devid) + " " + m->devtitle + " " + m->gameid + " " + m->gametitle + " " + m->version).c_str());
    game_metadata_forget();
}

TEST_F(Metadata, MissingFileLeavesTheIconEmpty)
{
    game_metadata_forget();
    game_metadata_record *m = game_metadata_mutable();
    EXPECT_STREQ("zintarel", m->devid);
    EXPECT_STREQ("", m->icon);
    game_metadata_forget();
}
