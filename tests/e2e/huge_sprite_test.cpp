// Sprites that stopped the renderer, run as a game headless (dummy driver, the software
// renderer) and in a real window under Xvfb (OpenGL): angles from a division by zero, and
// sprites far larger than the window, turned and flipped.
#include "e2e/e2e.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

namespace {

struct environment {
    const char *name;
    bool window; // under Xvfb
};

const environment environments[] = {{"dummy driver", false}, {"window", true}};

// Runs the game in the folder "game" until it quits by itself; its exit status (137 when
// killed at the timeout).
int run_game(const e2e_game &g, const environment &env, int timeout_seconds)
{
    if (!env.window) {
        e2e_run r = g.run({"game"}, timeout_seconds);
        return r.status < 0 ? 128 - r.status : r.status;
    }
    std::string command = "cd '" + g.root + "' && env -u SDL_VIDEODRIVER ALSOFT_DRIVERS=null timeout -s KILL " +
                          std::to_string(timeout_seconds) + " xvfb-run -a ./zintarel game > window.log 2>&1";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A screenshot's colour at game coordinates (y up) as "r g b".
std::string colour(const std::string &png, int x, int y)
{
    e2e_picture p;
    if (!e2e_decode_png(png, &p)) return "no picture";
    if (x < 0 || y < 0 || x >= p.w || y >= p.h) return "outside";
    const unsigned char *c = p.at(x, y);
    return std::to_string(c[0]) + " " + std::to_string(c[1]) + " " + std::to_string(c[2]);
}

const char *blue = "0 0 255", *orange = "250 150 40";

// Pictures of 4 x 4 pixels of one colour each.
void write_pictures(const e2e_game &g)
{
    static const char blue_png[] =
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x04\x00\x00\x00\x04\x08\x06"
        "\x00\x00\x00\xa9\xf1\x9e\x7e\x00\x00\x00\x11\x49\x44\x41\x54\x78\xda\x63\x60\x60\xf8\xff\x1f\x15\x93\x2c"
        "\x00\x00\x1c\x60\x1f\xe1\xcb\x7f\x73\xf9\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";
    static const char orange_png[] =
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x04\x00\x00\x00\x04\x08\x06"
        "\x00\x00\x00\xa9\xf1\x9e\x7e\x00\x00\x00\x12\x49\x44\x41\x54\x78\xda\x63\xf8\x35\x4d\xe3\x3f\x32\x66\x20"
        "\x5d\x00\x00\xc8\x67\x2b\x71\x40\xa9\x87\xef\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";
    g.write("game/blue.png", std::string(blue_png, sizeof blue_png - 1));
    g.write("game/orange.png", std::string(orange_png, sizeof orange_png - 1));
}

} // namespace

TEST(HugeSprites, AnglesFromADivisionByZeroDrawTheSpriteUnturned)
{
    // Orange squares over a blue field flipped far past the window, Hashes and an Array mixed.
    const char *game = "def tick args\n"
                       "  args.outputs.sprites << { x: 0, y: 0, w: 24000, h: 24000, path: 'blue.png', flip_horizontally: true }\n"
                       "  args.outputs.sprites << { x: 100, y: 100, w: 50, h: 50, path: 'orange.png', angle: 1 / 0 }\n"
                       "  args.outputs.sprites << { x: 200, y: 100, w: 50, h: 50, path: 'orange.png', angle: -1 / 0,"
                       " flip_vertically: true }\n"
                       "  args.outputs.sprites << { x: 300, y: 100, w: 50, h: 50, path: 'orange.png', angle: 0 / 0,"
                       " flip_horizontally: true }\n"
                       "  args.outputs.sprites << [400, 100, 50, 50, 'orange.png', 1 / 0]\n"
                       "  args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: 'shot.png' } if args.tick_count == 30\n"
                       "  $zoq.request_quit if args.tick_count == 60\n"
                       "end\n";
    for (const environment &env : environments) {
        e2e_game g(std::string("angles-") + (env.window ? "window" : "dummy"));
        g.write("game/app/main.rb", game);
        write_pictures(g);
        ASSERT_EQ(0, run_game(g, env, 60)) << env.name << g.read(".stderr") << g.read("window.log");
        std::string shot = g.read("game/shot.png");
        for (int x : {100, 200, 300, 400}) {
            // Unturned, a square covers its own corners; turned by any angle it would not.
            EXPECT_EQ(orange, colour(shot, x, 100)) << env.name << " " << x;
            EXPECT_EQ(orange, colour(shot, x + 49, 149)) << env.name << " " << x;
            EXPECT_EQ(blue, colour(shot, x - 1, 125)) << env.name << " " << x;
        }
        EXPECT_EQ(blue, colour(shot, 0, 0)) << env.name;
        EXPECT_EQ(blue, colour(shot, 1279, 719)) << env.name;
    }
}

TEST(HugeSprites, EveryFrameOfSpritesFarLargerThanTheWindowIsDrawnInTime)
{
    // Each tick saves a small screenshot, so that every frame is drawn; drawn whole, each of
    // these took the software renderer seconds.
    const char *game = "def tick args\n"
                       "  t = args.tick_count\n"
                       "  args.outputs.sprites << { x: 640 - 8000, y: 360 - 8000, w: 16000, h: 16000, path: 'blue.png',"
                       " angle: t }\n"
                       "  args.outputs.sprites << { x: 640 - 6000, y: 360 - 7000, w: 12000, h: 14000, path: 'blue.png',"
                       " angle: 90 + t, flip_horizontally: true }\n"
                       "  args.outputs.sprites << { x: -20000, y: -20000, w: 40000, h: 40000, path: 'blue.png', angle: 45 - t }\n"
                       "  args.outputs.screenshots << { x: 636, y: 356, w: 8, h: 8, path: \"shots/#{t}.png\" }\n"
                       "  $zoq.request_quit if t == 60\n"
                       "end\n";
    for (const environment &env : environments) {
        e2e_game g(std::string("frames-") + (env.window ? "window" : "dummy"));
        g.write("game/app/main.rb", game);
        write_pictures(g);
        ASSERT_EQ(0, run_game(g, env, 60)) << env.name << g.read(".stderr") << g.read("window.log");
        for (int t = 1; t <= 60; t++) EXPECT_EQ(blue, colour(g.read("game/shots/" + std::to_string(t) + ".png"), 4, 4)) << env.name << " " << t;
    }
}
