// Games that ship what their authors did not check: paths holding a NUL byte, on both
// renderers, and a folder of broken pictures, fonts and sounds used for 30 seconds.
#include "e2e/e2e.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

struct shot : e2e_picture {
    bool bright(int x, int y) const { return at(x, y)[0] > 128 && at(x, y)[1] > 128 && at(x, y)[2] > 128; }
    // The columns holding bright pixels in rows y0..y1: "first last", or "none".
    std::string ink_columns(int y0, int y1) const
    {
        int first = -1, last = -1;
        for (int x = 0; x < w; x++)
            for (int y = y0; y <= y1; y++)
                if (bright(x, y)) {
                    if (first < 0) first = x;
                    last = x;
                }
        return first < 0 ? "none" : std::to_string(first) + " " + std::to_string(last);
    }
};

// The same picture and font with and without a NUL and a tail after their names; a screenshot
// whose path holds a NUL beside one that does not.
const char *nul_game =
    "def tick args\n"
    "  args.outputs.background_color = [0, 0, 0]\n"
    "  args.outputs.sprites << { x: 0, y: 0, w: 256, h: 256, path: \"sprites/a.png\\0whatever\" }\n"
    "  args.outputs.sprites << { x: 300, y: 0, w: 64, h: 64, path: 'sprites/a.png' }\n"
    "  text = 'iiiiiiiiii'\n"
    "  args.outputs.labels << { x: 400, y: 700, text: text, size_enum: 10, font: \"fonts/f.ttf\\0zzz\" }\n"
    "  args.outputs.labels << { x: 400, y: 600, text: text, size_enum: 10 }\n"
    "  args.outputs.labels << { x: 400, y: 500, text: text, size_enum: 10, font: 'fonts/f.ttf' }\n"
    "  args.outputs.labels.each { |l| l.merge!(r: 255, g: 255, b: 255) }\n"
    "  if args.tick_count == 30\n"
    "    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: \"shots/nul.png\\0x\" }\n"
    "    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: 'shots/frame.png' }\n"
    "  end\n"
    "  $zoq.request_quit if args.tick_count == 45\n"
    "end\n";

void expect_nul_paths_name_no_file(const e2e_game &g, const std::string &log)
{
    EXPECT_FALSE(g.exists("game/shots/nul.png"));
    shot p;
    e2e_decode_png(g.read("game/shots/frame.png"), &p);
    ASSERT_EQ(1280, p.w) << log;
    // The missing texture: a red frame round a black and white checkerboard.
    for (int y : {10, 128, 245}) {
        EXPECT_EQ(255, p.at(0, y)[0]) << y;
        EXPECT_EQ(0, p.at(0, y)[2]) << y;
        EXPECT_EQ(255, p.at(255, y)[0]) << y;
    }
    const unsigned char *inside = p.at(100, 100);
    EXPECT_TRUE(inside[0] == inside[1] && inside[1] == inside[2]) << (int)inside[0] << " " << (int)inside[2];
    EXPECT_EQ(255, p.at(330, 30)[2]); // the same picture by its name alone
    EXPECT_EQ(0, p.at(330, 30)[0]);
    // The label whose font holds a NUL is drawn in the default font, unlike the font itself.
    std::string nul_font = p.ink_columns(640, 690), default_font = p.ink_columns(540, 590),
                named_font = p.ink_columns(440, 490);
    EXPECT_NE("none", default_font);
    EXPECT_EQ(default_font, nul_font);
    EXPECT_NE(default_font, named_font);
}

void write_nul_game(const e2e_game &g)
{
    g.write("game/app/main.rb", nul_game);
    g.write("game/sprites/a.png", read_file(ZINTAREL_EXAMPLES "/drawing/sprites/blue.png"));
    g.write("game/fonts/f.ttf", read_file("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"));
}

} // namespace

TEST(BrokenAssets, APathHoldingANulNamesNoFileOnTheSoftwareRenderer)
{
    e2e_game g("nul_paths");
    write_nul_game(g);
    e2e_run r = g.run({"game"}, 60, {"SDL_VIDEODRIVER=dummy"});
    EXPECT_EQ(0, r.status) << r.err;
    expect_nul_paths_name_no_file(g, r.out + r.err);
}

TEST(BrokenAssets, APathHoldingANulNamesNoFileInAnOpenGLWindow)
{
    e2e_game g("nul_paths_gl");
    write_nul_game(g);
    std::string command = "cd '" + g.root +
                          "' && env -u SDL_VIDEODRIVER ALSOFT_DRIVERS=null timeout -s KILL 60 xvfb-run -a -s \"-screen 0 1280x720x24\" ./zintarel game "
                          "> run.log 2>&1";
    EXPECT_EQ(0, system(command.c_str())) << g.read("run.log");
    expect_nul_paths_name_no_file(g, g.read("run.log"));
}

namespace {

std::vector<std::vector<std::string>> manifest_rows(const std::string &text)
{
    std::vector<std::vector<std::string>> rows;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        std::vector<std::string> fields;
        for (size_t f = 0; f <= line.size();) {
            size_t tab = line.find('\t', f);
            if (tab == std::string::npos) tab = line.size();
            fields.push_back(line.substr(f, tab - f));
            f = tab + 1;
        }
        rows.push_back(fields);
    }
    return rows;
}

} // namespace

TEST(BrokenAssets, AGameUsingEveryBrokenFileFor30SecondsRunsOnKeepsItsMemoryAndSaysEachOnce)
{
    e2e_game g("corpus_game");
    g.write("game/app/main.rb", read_file(ZINTAREL_TEST_DATA "/broken_assets_game.rb"));
    std::string generate = ZINTAREL_PYTHON " " ZINTAREL_CORPUS_SCRIPT " '" + g.root + "/game' --size small > /dev/null";
    ASSERT_EQ(0, system(generate.c_str()));
    e2e_run r = g.run({"game"}, 120, {"SDL_VIDEODRIVER=dummy", "ALSOFT_DRIVERS=null"});
    std::string said = r.out + r.err;
    ASSERT_EQ(0, r.status) << said.substr(0, 4000);
    double start = 0, elapsed = 0;
    long ticks = 0;
    ASSERT_EQ(3, sscanf(g.read("game/result.txt").c_str(), "%lf %ld %lf", &start, &ticks, &elapsed)) << said.substr(0, 4000);
    // A broken file read again every tick held the game to a tick or two a second; a sound
    // game keeps many times that however loaded the machine (bench/broken_assets.sh measures
    // the pace itself).
    EXPECT_GE(ticks / elapsed, 10.0) << ticks << " ticks in " << elapsed << " s";
    // Resident memory from one second in to the end stays within 10% of its reading then.
    long first = 0, most = 0;
    for (const auto &sample : r.rss) {
        if (sample.first < start + 1 || sample.first > start + elapsed) continue;
        if (!first) first = sample.second;
        most = std::max(most, sample.second);
    }
    ASSERT_GT(first, 0);
    EXPECT_LE(most, first + first / 10) << "kB after the first second: " << first << ", at most " << most;
    // Every sound that cannot be played is reported once, by name, in so many words; no file
    // is named twice.
    for (const auto &row : manifest_rows(g.read("game/manifest.tsv"))) {
        if (row.size() < 3) continue;
        const std::string &path = row[0];
        int named = occurrences(said, "\"" + path + "\"");
        EXPECT_LE(named, 1) << path;
        if (row[1] == "sound" && row[2] == "fail") {
            EXPECT_EQ(1, occurrences(said, "\"" + path + "\" can't be played: Unsupported or corrupted audio file."))
                << path;
        }
    }
}
