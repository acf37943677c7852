// The example games as players see them. ctest runs these under the dummy driver and again
// in a real X11 window under Xvfb on OpenGL, where the window itself is captured as well:
// the screenshots the games save, and the window, show each output in its place and colour.
#include "e2e/e2e.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool real_window()
{
    const char *driver = getenv("SDL_VIDEODRIVER");
    return driver && strcmp(driver, "x11") == 0;
}

struct pictures {
    e2e_picture saved;  // the screenshot the game wrote
    e2e_picture window; // in a real window: the window, captured while the game still ran
};

// Runs an example (its main.rb and the given files) with the extra arguments until the
// screenshot it saves as `shot` in its folder has appeared.
pictures run_example(const char *name, const std::vector<std::string> &files, const std::vector<std::string> &extra,
                     const std::string &shot)
{
    e2e_game g(name);
    const std::string source = std::string(ZINTAREL_EXAMPLES "/") + name + "/";
    for (const std::string &file : files) g.write("game/" + file, read_file(source + file));
    std::vector<std::string> args = {"game"};
    args.insert(args.end(), extra.begin(), extra.end());
    pictures out;
    e2e_signal term;
    term.when_exists = "game/" + shot;
    term.after_ms = 500;
    if (real_window()) term.before = [&out] { e2e_capture_window(&out.window); };
    e2e_run r = g.run(args, 30, {real_window() ? "SDL_VIDEODRIVER=x11" : "SDL_VIDEODRIVER=dummy", "ALSOFT_DRIVERS=null"},
                      &term);
    EXPECT_EQ(0, r.status) << r.err << r.out;
    e2e_decode_png(g.read("game/" + shot), &out.saved);
    if (real_window()) {
        EXPECT_EQ(1280, out.window.w) << "no window was captured";
    }
    return out;
}

struct expected_pixel {
    int x, y;
    unsigned char r, g, b;
    const char *what;
};

void expect_pixels(const e2e_picture &p, const std::vector<expected_pixel> &table, const char *which)
{
    ASSERT_EQ(1280, p.w) << which;
    ASSERT_EQ(720, p.h) << which;
    for (const expected_pixel &e : table) {
        const unsigned char *c = p.at(e.x, e.y);
        EXPECT_NEAR(e.r, c[0], 2) << e.what << " in " << which;
        EXPECT_NEAR(e.g, c[1], 2) << e.what << " in " << which;
        EXPECT_NEAR(e.b, c[2], 2) << e.what << " in " << which;
    }
}

const std::vector<std::string> drawing_files = {"app/main.rb", "sprites/blue.png"};

void expect_drawing(const e2e_picture &p, const char *which)
{
    expect_pixels(p,
                  {
                      {50, 50, 40, 40, 80, "background colour"},
                      {150, 150, 255, 0, 0, "Hash solid"},
                      {350, 150, 0, 255, 0, "Array solid"},
                      {550, 150, 0, 0, 255, "sprite from a file"},
                      {750, 150, 255, 0, 255, "pixel array, flipped: magenta first"},
                      {850, 150, 255, 255, 0, "pixel array, flipped: yellow second"},
                      {1025, 125, 255, 128, 0, "render target: its bottom-left solid"},
                      {1075, 175, 0, 255, 255, "render target: its background"},
                      {125, 525, 255, 255, 255, "debug solid"},
                  },
                  which);
    if (p.w != 1280 || p.h != 720) return;
    // The line and the label: somewhere along them, their colour.
    bool line = false, label = false;
    for (int y = 598; y <= 602; y++) {
        const unsigned char *c = p.at(250, y);
        line = line || (c[0] > 250 && c[1] > 250 && c[2] < 5);
    }
    for (int y = 330; y <= 400 && !label; y++)
        for (int x = 100; x < 500 && !label; x++) {
            const unsigned char *c = p.at(x, y);
            label = c[0] > 200 && c[1] > 200 && c[2] > 200;
        }
    EXPECT_TRUE(line) << which;
    EXPECT_TRUE(label) << which;
}

} // namespace

TEST(Examples, DrawingShowsEveryOutputInItsPlaceAndColour)
{
    pictures p = run_example("drawing", drawing_files, {}, "screenshots/drawing.png");
    expect_drawing(p.saved, "the screenshot");
    if (real_window()) expect_drawing(p.window, "the window");
}

TEST(Examples, DrawingWithACentredOriginMovesWhatIsDrawnByHalfTheWindow)
{
    pictures p = run_example("drawing", drawing_files, {"--origin", "center"}, "screenshots/drawing-center.png");
    std::vector<expected_pixel> moved = {
        {150, 150, 40, 40, 80, "background where the solid was"},
        {790, 510, 255, 0, 0, "Hash solid, moved"},
        {1190, 510, 0, 0, 255, "sprite from a file, moved"},
    };
    expect_pixels(p.saved, moved, "the screenshot");
    if (real_window()) expect_pixels(p.window, moved, "the window");
}

// 1,000 squares of one picture (orange body, darker edge) over a dark background, moving.
TEST(Examples, SpritesShowTheirPictureInItsColours)
{
    pictures p = run_example("sprites", {"app/main.rb", "sprites/square.png"}, {"--screenshot", "shot.png"}, "shot.png");
    auto share = [](const e2e_picture &pic, int r, int g, int b) {
        size_t n = 0, all = (size_t)pic.w * pic.h;
        for (size_t i = 0; i < all; i++) {
            const unsigned char *c = &pic.rgba[i * 4];
            n += abs(c[0] - r) <= 2 && abs(c[1] - g) <= 2 && abs(c[2] - b) <= 2;
        }
        return all ? (double)n / (double)all : 0.0;
    };
    for (const e2e_picture *pic : {&p.saved, &p.window}) {
        if (pic == &p.window && !real_window()) continue;
        const char *which = pic == &p.saved ? "the screenshot" : "the window";
        ASSERT_EQ(1280, pic->w) << which;
        EXPECT_GT(share(*pic, 250, 150, 40), 0.2) << which << ": the body colour";
        EXPECT_GT(share(*pic, 150, 70, 20), 0.02) << which << ": the edge colour";
        EXPECT_LT(share(*pic, 255, 255, 255), 0.01) << which << ": white";
    }
}
