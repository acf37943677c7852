// The run as a game author relies on it when things go wrong: a full disk loses no file and
// says so.
#include "e2e/e2e.h"
#include "support/small_disk.h"
#include "support/test_files.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Fills the disk holding `dir` to the last byte.
void fill(const std::string &dir)
{
    FILE *f = fopen((dir + "/filler.bin").c_str(), "wb");
    ASSERT_TRUE(f);
    std::string block(4096, 'f');
    while (fwrite(block.data(), 1, block.size(), f) == block.size() && fflush(f) == 0) {
    }
    fclose(f);
}

// Names in the folder holding ".partial" (a write left half done).
std::string partials(const std::string &dir)
{
    std::string found;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strstr(e->d_name, ".partial")) found += std::string(e->d_name) + " ";
        closedir(d);
    }
    return found;
}

} // namespace

TEST(Reliability, OnAFullDiskEveryWriteFailsSayingSoAndTheFilesBeforeItStay)
{
    e2e_game g("full_disk");
    small_disk game_disk(g.root + "/game", "256k");
    small_disk report_disk(g.root + "/exceptions", "64k");
    SKIP_UNLESS_MOUNTED(game_disk);
    SKIP_UNLESS_MOUNTED(report_disk);
    g.write("game/app/main.rb",
            "def tick args\n"
            "  args.state.blob = 'z' * 300_000\n"
            "  results = [$zoq.write_file('data/save.txt', 'y' * 300_000), $zoq.save_state,\n"
            "             $zoq.serialize_state('../outside_state.txt', args.state)]\n"
            "  $zoq.export! 'on purpose'\n"
            "  $zoq.write_file_root 'results.txt', results.inspect\n"
            "  $zoq.request_quit\n"
            "end\n");
    g.write("game/data/save.txt", "good save");
    g.write("game/game_state.txt", "{:score=>1}");
    g.write("exceptions/current.txt", "the report before");
    fill(g.root + "/game");
    fill(g.root + "/exceptions");
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("[false, false, false]", g.read("results.txt")) << r.out;
    EXPECT_EQ("good save", g.read("game/data/save.txt"));
    EXPECT_EQ("{:score=>1}", g.read("game/game_state.txt"));
    EXPECT_EQ("the report before", g.read("exceptions/current.txt"));
    EXPECT_EQ("", partials(g.root + "/game") + partials(g.root + "/game/data") + partials(g.root + "/exceptions"));
    for (const char *said : {"could not be saved to file game_state.txt", "could not be saved to file ../outside_state.txt",
                             "The exception report could not be written to exceptions/current.txt"})
        EXPECT_TRUE(contains(r.out, said)) << said << "\n" << r.out;
    EXPECT_FALSE(contains(r.out, "saved to file game_state.txt.")) << r.out;
}
