// The frame-rate panel as the player's window shows it: a half-transparent black strip along
// the top left with five white lines of text. ctest runs this under the dummy driver and
// again in a real X11 window under Xvfb on OpenGL, where the window itself is captured too.
#include "e2e/e2e.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct shot {
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    // A pixel counted from the top left, as the panel is placed.
    const unsigned char *from_top(int x, int y) const { return &rgba[((size_t)y * w + x) * 4]; }
};

shot decode_png(const std::string &png)
{
    shot s;
    int channels = 0;
    unsigned char *data = stbi_load_from_memory((const unsigned char *)png.data(), (int)png.size(), &s.w, &s.h,
                                                &channels, 4);
    if (data) {
        s.rgba.assign(data, data + (size_t)s.w * s.h * 4);
        stbi_image_free(data);
    }
    return s;
}

bool in_real_window()
{
    const char *driver = getenv("SDL_VIDEODRIVER");
    return driver && strcmp(driver, "x11") == 0;
}

bool white(const unsigned char *c) { return c[0] > 200 && c[1] > 200 && c[2] > 200; }

// Whether any pixel of the rows [top, bottom) and columns [left, right) is white.
bool any_white(const shot &s, int left, int right, int top, int bottom)
{
    for (int y = top; y < bottom; y++)
        for (int x = left; x < right; x++)
            if (white(s.from_top(x, y))) return true;
    return false;
}

void expect_panel(const shot &s, const char *which)
{
    ASSERT_EQ(1280, s.w) << which;
    ASSERT_EQ(720, s.h) << which;
    struct {
        int x, y, r;
        const char *what;
    } pixels[] = {
        {490, 88, 100, "the strip, half-transparent black over the red"},
        {250, 91, 100, "the strip's last row"},
        {250, 94, 200, "below the strip"},
        {502, 88, 200, "right of the strip"},
        {900, 10, 200, "far right"},
    };
    for (const auto &p : pixels) {
        const unsigned char *c = s.from_top(p.x, p.y);
        EXPECT_NEAR(p.r, c[0], 2) << p.what << " in " << which;
        EXPECT_NEAR(0, c[1], 2) << p.what << " in " << which;
        EXPECT_NEAR(0, c[2], 2) << p.what << " in " << which;
    }
    // Five labels 15 rows apart, from 5 below the top, starting 5 from the left edge.
    for (int line = 0; line < 5; line++) {
        int top = 5 + 15 * line;
        EXPECT_TRUE(any_white(s, 5, 60, top + 3, top + 13)) << "label " << line << " in " << which;
    }
    EXPECT_FALSE(any_white(s, 0, 1280, 0, 4)) << "above the labels in " << which;
    EXPECT_FALSE(any_white(s, 0, 4, 0, 93)) << "left of the labels in " << which;
    // (The notification's logo may sit in the bottom left corner.)
    EXPECT_FALSE(any_white(s, 0, 1280, 96, 640)) << "below the panel in " << which;
}

} // namespace

TEST(FrameratePanel, ThePanelIsDrawnAlongTheTopLeft)
{
    e2e_game g("framerate_panel");
    g.write("game/app/main.rb",
            "def tick args\n"
            "  args.outputs.background_color = [200, 0, 0]\n"
            "  args.outputs.debug << args.zoq.framerate_diagnostics_primitives\n"
            "  args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: 'shot.png' } if args.tick_count == 30\n"
            "end\n");
    shot window;
    e2e_signal term;
    term.when_exists = "game/shot.png";
    term.after_ms = 300;
    if (in_real_window()) term.before = [&window] { e2e_capture_window(&window.w, &window.h, window.rgba); };
    e2e_run r = g.run({"game"}, 30, {in_real_window() ? "SDL_VIDEODRIVER=x11" : "SDL_VIDEODRIVER=dummy"}, &term);
    EXPECT_EQ(0, r.status) << r.err;
    expect_panel(decode_png(g.read("game/shot.png")), "the screenshot");
    if (in_real_window()) expect_panel(window, "the window");
}
