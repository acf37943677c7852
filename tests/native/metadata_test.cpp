// The game metadata file: its keys, bad lines, limits and defaults.
#include "base/metadata.h"
#include "support/host_test.h"
#include "support/test_files.h"

#include <functional>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <fcntl.h>
#include <unistd.h>

class Metadata : public HostTest {};

static std::string capture_stderr(const std::function<void()> &body)
{
    fflush(stderr);
    std::string folder = make_temp_folder("zintarel-stderr"), path = folder + "/stderr.txt";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int saved = dup(2);
    dup2(fd, 2);
    body();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(fd);
    std::string out = read_file(path, "<missing>");
    remove(path.c_str());
    rmdir(folder.c_str());
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

// The same rows as the store wizard's reading of the file (tests/ruby/wizards_test.rb): a key
// given twice takes the last value, in any case; a value too large takes the key out; a NUL
// ends the file and a lone CR ends a line.
TEST_F(Metadata, AKeyGivenTwiceTakesItsLastValue)
{
    struct {
        std::string text;
        const char *devid;
    } rows[] = {{"devid=first\ndevid=second\n", "second"},
                {"devid=first\nDEVID=second\n", "second"},
                {"DevId=first\ndevid=second", "second"},
                {"devid=good\ndevid=" + std::string(32, 'x') + "\n", ""},
                {"devid=" + std::string(31, 'x') + "\n", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
                {"devid=a\rdevid=b", "b"},
                {std::string("devid=a\0\ndevid=b", 16), "a"},
                {"  devid  =  spaced out \t\n#devid=commented\n", "spaced out"}};
    for (const auto &row : rows) {
        write_file(fx.game_dir + "/metadata/game_metadata.txt", row.text);
        game_metadata_record r = {};
        capture_stderr([&] { load_metadata("metadata/game_metadata.txt", &r); });
        EXPECT_STREQ(row.devid, r.devid) << row.text;
    }
}

TEST(MetadataFolderName, ATitleBecomesOneSafeFolderName)
{
    struct {
        const char *title, *folder;
    } rows[] = {{"Quest", "Quest"}, {"My Game: Deluxe!", "My Game: Deluxe!"}, {"../../x", ".._.._x"},
                {"a\\b/c", "a_b_c"}, {"..", "__"}, {".", "_"}, {"...", "___"}, {"", "_"}, {".hidden", ".hidden"},
                {"tab\there\x7f\x01", "tab_here__"}, {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"}};
    for (const auto &row : rows) {
        char folder[128];
        metadata_folder_name(row.title, folder, sizeof folder);
        EXPECT_STREQ(row.folder, folder) << row.title;
    }
    char small[4];
    metadata_folder_name("abcdef", small, sizeof small);
    EXPECT_STREQ("abc", small);
}

TEST_F(Metadata, MissingFileLeavesTheIconEmpty)
{
    game_metadata_forget();
    game_metadata_record *m = game_metadata_mutable();
    EXPECT_STREQ("zintarel", m->devid);
    EXPECT_STREQ("", m->icon);
    game_metadata_forget();
}
