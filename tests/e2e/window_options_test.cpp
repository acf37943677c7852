// The window the size options ask for, as players see it: in a real X11 window under Xvfb
// (ctest's opengl.WindowOptions), on the OpenGL renderer and on SDL's software renderer, the
// game's canvas fills the window, scaled and centred, from the first frames the game draws.
#include "e2e/e2e.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

// Solids at the canvas's bottom-left and top-right corners and at its centre, a label below
// the centre; at tick 30 the game writes its canvas and device sizes.
const char *corners_game =
    "def tick args\n"
    "  w, h = $zoq.logical_width, $zoq.logical_height\n"
    "  args.outputs.background_color = [0, 0, 64]\n"
    "  args.outputs.solids << [0, 0, 100, 100, 255, 0, 0]\n"
    "  args.outputs.solids << [w - 100, h - 100, 100, 100, 0, 255, 0]\n"
    "  args.outputs.solids << [w / 2 - 50, h / 2 - 50, 100, 100, 255, 255, 0]\n"
    "  args.outputs.labels << [w / 2, h / 2 - 100, 'CENTRE', 0, 1, 255, 255, 255]\n"
    "  if args.tick_count == 30\n"
    "    $zoq.ffi_file.write 'drawn.txt', \"#{w} #{h} #{$zoq.device_width.to_i} #{$zoq.device_height.to_i}\"\n"
    "  end\n"
    "end\n";

struct canvas_in_window {
    int logical_w, logical_h;
    double scale, left, top; // where the canvas lies in the window
    // The window pixel of a canvas point (y up from the canvas's bottom).
    const unsigned char *at(const e2e_picture &p, double x, double y) const
    {
        int wx = (int)(left + x * scale), wy = (int)(top + (logical_h - y) * scale);
        return &p.rgba[((size_t)wy * p.w + wx) * 4];
    }
};

bool near_colour(const unsigned char *c, int r, int g, int b)
{
    return abs(c[0] - r) <= 2 && abs(c[1] - g) <= 2 && abs(c[2] - b) <= 2;
}

bool white(const unsigned char *c) { return c[0] > 200 && c[1] > 200 && c[2] > 200; }

} // namespace

TEST(WindowOptions, TheCanvasIsScaledIntoTheWindowAskedForOnBothRenderers)
{
    // The widths 568, 667, 736, 812 and 896 keep the 1280 x 720 canvas; any other size is the
    // canvas itself. The device size is the window's when it was made, at the canvas's size.
    struct {
        std::vector<std::string> options;
        int window_w, window_h, logical_w, logical_h;
    } cases[] = {
        {{}, 1280, 720, 1280, 720},
        {{"--window_width", "640", "--window_height", "360"}, 640, 360, 640, 360},
        {{"--window_width", "667", "--window_height", "375"}, 667, 375, 1280, 720},
        {{"--window_width", "896", "--window_height", "414"}, 896, 414, 1280, 720}, // narrower: centred
        {{"--window_width", "1920", "--window_height", "1080"}, 1920, 1080, 1920, 1080},
    };
    for (const char *renderer : {"opengl", "software"}) {
        for (const auto &c : cases) {
            std::string which = std::string(renderer) + " renderer, window " + std::to_string(c.window_w) + "x" +
                                std::to_string(c.window_h);
            e2e_game g("window_options");
            g.write("game/app/main.rb", corners_game);
            e2e_picture window;
            e2e_signal term;
            term.when_exists = "game/drawn.txt";
            term.after_ms = 500;
            term.before = [&window] { e2e_capture_window(&window); };
            std::vector<std::string> args = {"game"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            e2e_run r = g.run(args, 60, {"SDL_VIDEODRIVER=x11", std::string("SDL_RENDER_DRIVER=") + renderer}, &term);
            EXPECT_EQ(0, r.status) << which << r.err << r.out;

            canvas_in_window canvas = {};
            int device_w = 0, device_h = 0;
            if (sscanf(g.read("game/drawn.txt").c_str(), "%d %d %d %d", &canvas.logical_w, &canvas.logical_h, &device_w,
                       &device_h) != 4) {
                ADD_FAILURE() << "no sizes written, " << which;
                continue;
            }
            EXPECT_EQ(c.logical_w, canvas.logical_w) << which;
            EXPECT_EQ(c.logical_h, canvas.logical_h) << which;
            EXPECT_EQ(c.logical_w, device_w) << which;
            EXPECT_EQ(c.logical_h, device_h) << which;
            if (window.w != c.window_w || window.h != c.window_h) {
                ADD_FAILURE() << "window captured at " << window.w << "x" << window.h << ", " << which;
                continue;
            }

            canvas.scale = std::min((double)window.w / canvas.logical_w, (double)window.h / canvas.logical_h);
            canvas.left = (window.w - canvas.logical_w * canvas.scale) / 2;
            canvas.top = (window.h - canvas.logical_h * canvas.scale) / 2;
            const double w = canvas.logical_w, h = canvas.logical_h;
            struct {
                double x, y;
                int r, g, b;
                const char *what;
            } pixels[] = {
                {50, 50, 255, 0, 0, "bottom-left solid"},
                {w - 50, h - 50, 0, 255, 0, "top-right solid"},
                {w / 2, h / 2, 255, 255, 0, "centre solid"},
                {w / 4, h * 3 / 4, 0, 0, 64, "background"},
            };
            for (const auto &p : pixels) {
                const unsigned char *got = canvas.at(window, p.x, p.y);
                EXPECT_TRUE(near_colour(got, p.r, p.g, p.b)) << p.what << ", " << which << ": " << (int)got[0] << " "
                                                             << (int)got[1] << " " << (int)got[2];
            }
            // The label's white somewhere within its scaled line, centred under the centre.
            bool label = false;
            for (double y = h / 2 - 140; y <= h / 2 - 100 && !label; y += 1 / canvas.scale)
                for (double x = w / 2 - 60; x <= w / 2 + 60 && !label; x += 1 / canvas.scale)
                    label = white(canvas.at(window, x, y));
            EXPECT_TRUE(label) << "label, " << which;
        }
    }
}
