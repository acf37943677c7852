// The frame-rate panel as the player's window shows it: a half-transparent black strip along
// the top left with five white lines of text. ctest runs this under the dummy driver and
// again in a real X11 window under Xvfb on OpenGL, where the window itself is captured too.
#include "e2e/e2e.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct shot : e2e_picture {
    // A pixel counted from the top left, as the panel is placed.
    const unsigned char *from_top(int x, int y) const { return &rgba[((size_t)y * w + x) * 4]; }
    // Whether any pixel of the rows [top, bottom) and columns [left, right) is white.
    bool white_in(int left, int right, int top, int bottom) const
    {
        for (int y = top; y < bottom; y++)
            for (int x = left; x < right; x++)
                if (from_top(x, y)[0] > 200 && from_top(x, y)[1] > 200 && from_top(x, y)[2] > 200) return true;
        return false;
    }
};

void expect_panel(const shot &s, const char *which)
{
    ASSERT_EQ(1280, s.w) << which;
    ASSERT_EQ(720, s.h) << which;
    // x, y from the top left, and the red expected: 200 is the background, 100 under the strip.
    struct {
        int x, y, r;
    } pixels[] = {{490, 88, 100}, {250, 91, 100}, {250, 94, 200}, {502, 88, 200}, {900, 10, 200}};
    for (const auto &p : pixels) {
        const unsigned char *c = s.from_top(p.x, p.y);
        EXPECT_TRUE(abs(c[0] - p.r) <= 2 && c[1] <= 2 && c[2] <= 2)
            << which << " at " << p.x << "," << p.y << ": " << (int)c[0] << " " << (int)c[1] << " " << (int)c[2];
    }
    // Five labels 15 rows apart, from 5 below the top, starting 5 from the left edge.
    for (int line = 0; line < 5; line++) EXPECT_TRUE(s.white_in(5, 60, 8 + 15 * line, 18 + 15 * line)) << line << which;
    EXPECT_FALSE(s.white_in(0, 1280, 0, 4)) << "above the labels in " << which;
    EXPECT_FALSE(s.white_in(0, 4, 0, 93)) << "left of the labels in " << which;
    // (The notification's logo may sit in the bottom left corner.)
    EXPECT_FALSE(s.white_in(0, 1280, 96, 640)) << "below the panel in " << which;
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
    const char *driver = getenv("SDL_VIDEODRIVER");
    bool real_window = driver && strcmp(driver, "x11") == 0;
    shot window, saved;
    e2e_signal term;
    term.when_exists = "game/shot.png";
    term.after_ms = 300;
    if (real_window) term.before = [&window] { e2e_capture_window(&window); };
    e2e_run r = g.run({"game"}, 30, {real_window ? "SDL_VIDEODRIVER=x11" : "SDL_VIDEODRIVER=dummy"}, &term);
    EXPECT_EQ(0, r.status) << r.err;
    e2e_decode_png(g.read("game/shot.png"), &saved);
    expect_panel(saved, "the screenshot");
    if (real_window) expect_panel(window, "the window");
}
