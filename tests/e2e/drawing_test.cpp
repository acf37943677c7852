// The drawing example game, run headless: the screenshot it saves at tick 30 must show
// every kind of output in its place and colour, from the bottom-left origin and moved by
// the centred one.
#include "e2e/e2e.h"
#include "support/test_files.h"

#include <gtest/gtest.h>


#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace {

struct picture {
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    // A pixel by game coordinates: x from the left, y upward from the bottom.
    const unsigned char *at(int x, int y) const { return &rgba[((size_t)(h - 1 - y) * w + x) * 4]; }
};

picture decode(const std::string &png)
{
    picture p;
    int channels = 0;
    unsigned char *data = stbi_load_from_memory((const unsigned char *)png.data(), (int)png.size(), &p.w, &p.h,
                                                &channels, 4);
    if (data) {
        p.rgba.assign(data, data + (size_t)p.w * p.h * 4);
        stbi_image_free(data);
    }
    return p;
}

// Runs the example with the given extra arguments until its screenshot is written.
picture screenshot_of(const char *name, const std::vector<std::string> &extra, const std::string &shot)
{
    e2e_game g(name);
    const std::string source = ZINTAREL_EXAMPLES "/drawing/";
    g.write("game/app/main.rb", read_file(source + "app/main.rb"));
    g.write("game/sprites/blue.png", read_file(source + "sprites/blue.png"));
    std::vector<std::string> args = {"game"};
    args.insert(args.end(), extra.begin(), extra.end());
    e2e_signal term;
    term.when_exists = "game/screenshots/" + shot;
    term.after_ms = 500;
    e2e_run r = g.run(args, 30, {"SDL_VIDEODRIVER=dummy", "ALSOFT_DRIVERS=null"}, &term);
    EXPECT_EQ(0, r.status) << r.err << r.out;
    return decode(g.read("game/screenshots/" + shot));
}

struct expected_pixel {
    int x, y;
    unsigned char r, g, b;
    const char *what;
};

void expect_pixels(const picture &p, const std::vector<expected_pixel> &table)
{
    ASSERT_EQ(1280, p.w);
    ASSERT_EQ(720, p.h);
    for (const expected_pixel &e : table) {
        const unsigned char *c = p.at(e.x, e.y);
        EXPECT_NEAR(e.r, c[0], 2) << e.what;
        EXPECT_NEAR(e.g, c[1], 2) << e.what;
        EXPECT_NEAR(e.b, c[2], 2) << e.what;
    }
}

} // namespace

TEST(Drawing, TheExampleShowsEveryOutputInItsPlaceAndColour)
{
    picture p = screenshot_of("drawing", {}, "drawing.png");
    expect_pixels(p, {
                         {50, 50, 40, 40, 80, "background colour"},
                         {150, 150, 255, 0, 0, "Hash solid"},
                         {350, 150, 0, 255, 0, "Array solid"},
                         {550, 150, 0, 0, 255, "sprite from a file"},
                         {750, 150, 255, 0, 255, "pixel array, flipped: magenta first"},
                         {850, 150, 255, 255, 0, "pixel array, flipped: yellow second"},
                         {1025, 125, 255, 128, 0, "render target: its bottom-left solid"},
                         {1075, 175, 0, 255, 255, "render target: its background"},
                         {125, 525, 255, 255, 255, "debug solid"},
                     });
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
    EXPECT_TRUE(line);
    EXPECT_TRUE(label);
}

TEST(Drawing, ACentredOriginMovesWhatIsDrawnByHalfTheWindow)
{
    picture p = screenshot_of("drawing_center", {"--origin", "center"}, "drawing-center.png");
    expect_pixels(p, {
                         {150, 150, 40, 40, 80, "background where the solid was"},
                         {790, 510, 255, 0, 0, "Hash solid, moved"},
                         {1190, 510, 0, 0, 255, "sprite from a file, moved"},
                     });
}
