// The developer console and the log in a running copy of the executable: where each kind of
// message goes, keys typed into a real window (Xvfb, xdotool), the console's picture on both
// renderers, and a game that breaks and is mended while it runs.
#include "e2e/e2e.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

// Runs a shell script from the game's root under Xvfb with the real (OpenGL) renderer, or
// headless under the dummy driver; answers the script's exit status.
int run_script(const e2e_game &g, const std::string &script, bool real_window)
{
    g.write("drive.sh", script);
    std::string command = "cd '" + g.root + "' && " +
                          (real_window ? "env -u SDL_VIDEODRIVER ALSOFT_DRIVERS=null timeout -s KILL 90 xvfb-run -a "
                                         "-s '-screen 0 1280x720x24' sh drive.sh"
                                       : "SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 90 sh drive.sh") +
                          " > drive.log 2>&1";
    return system(command.c_str());
}

struct picture : e2e_picture {
    // Pixels in the box (game coordinates) for which the test holds.
    template <class F> int count(int x0, int y0, int x1, int y1, F test) const
    {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) n += test(at(x, y)) ? 1 : 0;
        return n;
    }
};

} // namespace

TEST(Console, EachKindOfMessageReachesTheFileStandardOutputAndTheConsoleItsLevelAllows)
{
    e2e_game g("console_routing");
    g.write("game/app/main.rb",
            "def tick args\n"
            "  return unless args.tick_count == 1\n"
            "  [:on, :off].each do |level|\n"
            "    args.zoq.log_level = level\n"
            "    log \"log-#{level}\"\n"
            "    log_important \"important-#{level}\"\n"
            "    puts \"puts-#{level}\"\n"
            "  end\n"
            "  $zoq.ffi_file.write_root 'console.txt', $console.log.join(\"\\n\")\n"
            "  $zoq.request_quit\n"
            "end\n");
    e2e_run r = g.run({"game"});
    ASSERT_EQ(0, r.status) << r.err << r.out;
    std::string log = g.read("logs/log.txt"), puts_file = g.read("logs/puts.txt"), console = g.read("console.txt");
    struct route {
        const char *message;
        const char *file; // which file holds it
        bool in_console;
    };
    for (const route &e : std::vector<route>{{"log-on", "log", true},
                                             {"log-off", "log", false},
                                             {"important-on", "log", true},
                                             {"important-off", "log", true},
                                             {"puts-on", "puts", true},
                                             {"puts-off", "puts", true}}) {
        const std::string line = std::string(e.message) + "\n";
        EXPECT_TRUE(contains(r.out, line)) << e.message << " on standard output";
        EXPECT_TRUE(contains(std::string(e.file) == "log" ? log : puts_file, line)) << e.message << " in its file";
        EXPECT_EQ(e.in_console, contains(console + "\n", line)) << e.message << " in the console";
    }
}

TEST(Console, StandardOutputReachesAPipeLineByLineWhileTheGameRuns)
{
    e2e_game g("console_pipe");
    // The game waits for a file that the reader makes only once it has a whole line.
    g.write("game/app/main.rb",
            "def tick args\n"
            "  $zoq.request_quit if $zoq.ffi_file.read('go.txt')\n"
            "end\n");
    g.write("go.txt.later", "x");
    int status = run_script(g,
                            "./zintarel game | { read first; echo \"$first\" > first.txt; cp go.txt.later go.txt; "
                            "cat > rest.txt; }\n",
                            false);
    EXPECT_EQ(0, status) << g.read("drive.log");
    EXPECT_TRUE(contains(g.read("first.txt"), "RNG seed has been set")) << g.read("first.txt");
}

TEST(Console, KeysTypedIntoARealWindowOpenTheConsoleEvaluateAndQuit)
{
    e2e_game g("console_keys");
    g.write("game/app/main.rb",
            "def tick args\n"
            "  args.outputs.solids << { x: 0, y: 0, w: 1280, h: 720, r: 0, g: 160, b: 60 }\n"
            "  $zoq.ffi_file.write_root 'ready.txt', 'x' if args.tick_count == 1\n"
            "  $opened ||= $console.visible? && $zoq.ffi_file.write_root('open.txt', 'x')\n"
            "  kb = args.inputs.keyboard\n"
            "  seen = kb.key_down.truthy_keys + kb.key_up.truthy_keys + args.inputs.text\n"
            "  $zoq.ffi_file.append_root 'game_keys.txt', \"#{seen}\\n\" unless seen.empty?\n"
            "  if !$shot && $console.ready? && $console.log.include?('=> 2')\n"
            "    $shot = true\n"
            "    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: 'typed.png' }\n"
            "  end\n"
            "end\n");
    int status = run_script(g,
                            "./zintarel game > game.log 2>&1 &\n"
                            "pid=$!\n"
                            "for i in $(seq 1 400); do [ -f ready.txt ] && break; sleep 0.05; done\n"
                            "window=$(xdotool search --pid $pid | tail -1)\n"
                            "xdotool windowfocus $window\n"
                            // Quick taps: each press and release reach the game within
                            // one step, and still count once.
                            "tap() { xdotool keydown --delay 0 $1 keyup --delay 0 $1; }\n"
                            "tap grave\n"
                            // What is typed in the step that opens the console is dropped.
                            "for i in $(seq 1 400); do [ -f open.txt ] && break; sleep 0.05; done\n"
                            "xdotool type --delay 30 '1 + 1'\n"
                            "tap Return\n"
                            "for i in $(seq 1 400); do [ -f game/typed.png ] && break; sleep 0.05; done\n"
                            "xdotool type --delay 30 'quit'\n"
                            "tap Return\n"
                            "wait $pid\n",
                            true);
    EXPECT_EQ(0, status) << g.read("drive.log") << g.read("game.log");
    std::string out = g.read("game.log");
    EXPECT_TRUE(contains(out, "-> 1 + 1\n=> 2\n")) << out;
    EXPECT_EQ("1 + 1\nquit", g.read("console_history.txt"));
    EXPECT_FALSE(g.exists("game_keys.txt")) << "the game saw: " << g.read("game_keys.txt");
    picture p;
    e2e_decode_png(g.read("game/typed.png"), &p);
    ASSERT_EQ(1280, p.w) << "the screenshot taken once the result was printed";
    // Text over the darkened game along the bottom, where the input and its result are.
    EXPECT_GT(p.count(0, 0, 400, 120, [](const unsigned char *c) { return c[0] > 180 && c[1] > 180 && c[2] > 180; }),
              100);
}

// The console opened by the game over a green screen, pictured by both renderers.
class ConsolePicture : public ::testing::TestWithParam<bool> {};

TEST_P(ConsolePicture, TheOpenConsoleIsDrawnOverTheGameWithReadableText)
{
    const bool real_window = GetParam();
    e2e_game g(real_window ? "console_gl" : "console_soft");
    g.write("game/app/main.rb",
            "def tick args\n"
            "  args.outputs.solids << { x: 0, y: 0, w: 1280, h: 720, r: 0, g: 160, b: 60 }\n"
            "  if args.tick_count == 1\n"
            "    puts 'Plain white text to read'\n"
            "    log_error 'an error in red that goes on and on ' + 'and on ' * 8 + 'until it wraps once'\n"
            "    $console.show\n"
            // A line wider than the prompt, the cursor at its end.
            "    $console.current_input_str = 'args.state.total = ' + (1..60).to_a.join(' + ')\n"
            "  end\n"
            "  args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: 'console.png' } if args.tick_count == 90\n"
            "  $zoq.request_quit if args.tick_count == 92\n"
            "end\n");
    int status = run_script(g, "./zintarel game > game.log 2>&1\n", real_window);
    ASSERT_EQ(0, status) << g.read("drive.log") << g.read("game.log");
    picture p;
    e2e_decode_png(g.read("game/console.png"), &p);
    ASSERT_EQ(1280, p.w);
    ASSERT_EQ(720, p.h);
    // The panel's black at 224 of 255 over the game's green, where no text is.
    const unsigned char *panel = p.at(900, 300);
    EXPECT_NEAR(0, panel[0], 3);
    EXPECT_NEAR(160 * 31 / 255, panel[1], 3);
    EXPECT_NEAR(60 * 31 / 255, panel[2], 3);
    auto white = [](const unsigned char *c) { return c[0] > 200 && c[1] > 200 && c[2] > 200; };
    auto red = [](const unsigned char *c) { return c[0] > 150 && c[1] < 90 && c[2] < 90; };
    // The newest lines sit just above the prompt: white text and the error in red, both of its
    // lines (the newest is the second).
    EXPECT_GT(p.count(0, 20, 640, 140, white), 150);
    EXPECT_GT(p.count(0, 40, 640, 70, red), 60);
    EXPECT_LT(p.count(0, 40, 640, 70, white), 10);
    // The prompt's mark ("-> ") along the bottom, and the cursor after the end of the long line.
    EXPECT_GT(p.count(0, 0, 60, 30, white), 10);
    auto cursor = [](const unsigned char *c) { return c[0] > 120 && c[1] < 50 && c[2] < 40; };
    EXPECT_GT(p.count(640, 0, 1280, 32, cursor), 10);
    // The logo (here the picture drawn for a missing one) whole in the top right corner, 10
    // pixels below the top.
    auto lit = [](const unsigned char *c) { return c[0] > 25; };
    EXPECT_GT(p.count(1170, 700, 1270, 710, lit), 100);
    EXPECT_EQ(0, p.count(1170, 711, 1270, 720, lit));
}

INSTANTIATE_TEST_SUITE_P(BothRenderers, ConsolePicture, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "OpenGLUnderXvfb" : "SoftwareDummy");
                         });

TEST(Console, ABrokenGameOpensTheConsoleAndResumesOnceItsFileIsMended)
{
    struct breakage {
        const char *name, *broken, *message;
    };
    const char *mended = "def tick args\n"
                         "  $zoq.ffi_file.write_root 'resumed.txt', 'x'\n"
                         "  $zoq.request_quit\n"
                         "end\n";
    for (const breakage &b : std::vector<breakage>{
             // Past the first second: a file changed earlier than that is not queued again.
             {"raises", "def tick args\n  raise 'the hero has no sword' if args.tick_count == 90\nend\n",
              "* EXCEPTION: the hero has no sword"},
             {"syntax", "def tick args\n  [1, 2\nend\n", "Failed to reload app/main.rb."},
             // The report names the nil, not the state's score read before.
             {"nil_local",
              "def tick args\n  args.state.score ||= 0\n  args.state.score += 1\n  enemy = nil\n"
              "  enemy.hp if args.tick_count == 90\nend\n",
              "Unhandled method_missing with name :hp, args [] was invoked on [NilClass]."}}) {
        e2e_game g(std::string("console_") + b.name);
        g.write("game/app/main.rb", b.broken);
        g.write("mended.rb", mended);
        // The mended file is dated ahead: the reload poll compares whole seconds.
        int status = run_script(g,
                                "./zintarel game > game.log 2>&1 &\n"
                                "pid=$!\n"
                                "for i in $(seq 1 400); do [ -f exceptions/current.txt ] && break; sleep 0.05; done\n"
                                "cp mended.rb game/app/main.rb\n"
                                "touch -d '+5 seconds' game/app/main.rb\n"
                                "wait $pid\n",
                                false);
        EXPECT_EQ(0, status) << b.name << g.read("drive.log") << g.read("game.log");
        std::string out = g.read("game.log");
        EXPECT_TRUE(contains(out, b.message)) << b.name << out;
        EXPECT_TRUE(g.exists("resumed.txt")) << b.name << out;
    }
}
