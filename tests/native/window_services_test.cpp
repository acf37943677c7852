// FFI::Misc's window services against a real window: the title a tick sets reaches the window
// through the render thread, the device size, and text measured as labels draw it, alone and
// while the render thread draws labels (the race check under ThreadSanitizer).
#include "host/game.h"
#include "host/simulation.h"
#include "render/fontatlas.h"
#include "services/network.h"
#include "support/render_fixture.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>

// Runs the game in app/main.rb on a simulation thread while this thread renders, until it quits;
// then renders what it left queued, as the executable does.
static void run_both_threads(render_context *ctx, thread_channel *channel)
{
    char *argv[] = {(char *)"./zintarel", (char *)"game"};
    test_game.channel = channel;
    game_pre_init(&test_game, 2, argv);
    game_init(&test_game, 2, argv);
    SDL_Thread *simulation = SDL_CreateThreadWithStackSize(simulation_thread_main, "simulation", 0x800000, &test_game);
    ASSERT_TRUE(simulation);
    while (SDL_AtomicGet(&channel->quit) == 0) draw_iteration(ctx);
    SDL_WaitThread(simulation, nullptr);
    draw_iteration(ctx);
    test_game.channel = nullptr;
}

// The window's name as the X server holds it (OpenGL runs only); "" elsewhere.
static std::string x11_window_name(SDL_Window *window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return "";
    XTextProperty name = {};
    std::string text;
    if (XGetWMName(info.info.x11.display, info.info.x11.window, &name) && name.value) {
        text.assign((const char *)name.value, name.nitems);
        XFree(name.value);
    }
    return text;
}

TEST_F(RenderLoop, ATitleSetInATickIsTheWindowsTitleAfterTheNextFrameAndDeviceSizeIsTheFirstWindowSize)
{
    // 1280 x 720 opens 1024 x 576 on this 1024-wide display and is then resized as asked.
    ASSERT_TRUE(open(0, 1280, 720, 800, 600)) << SDL_GetError();
    ffi_render_context = ctx;
    write_file(fx.game_dir + "/app/main.rb",
               "def tick args\n"
               "  $zoq.set_window_title \"Tick #{args.tick_count} \\u00e9\" if args.tick_count == 3\n"
               "  $zoq.request_quit if args.tick_count == 3\n"
               "end\n");
    std::string before = SDL_GetWindowTitle(ctx->window);
    run_both_threads(ctx, channel);
    EXPECT_NE("Tick 3 \xC3\xA9", before);
    EXPECT_STREQ("Tick 3 \xC3\xA9", SDL_GetWindowTitle(ctx->window));
    if (strcmp(expected_renderer(), "opengl") == 0) {
        EXPECT_EQ("Tick 3 \xC3\xA9", x11_window_name(ctx->window));
    }
    EXPECT_EQ("[1024.0, 576.0, 1024.0, 576.0]",
              host_fixture_eval("FFI::Misc.new.device_size + [$zoq.device_width, $zoq.device_height]"));
    EXPECT_EQ("nil", host_fixture_eval("FFI::Misc.new.set_window_title('Next')"));
    draw_iteration(ctx);
    EXPECT_STREQ("Next", SDL_GetWindowTitle(ctx->window));
    ffi_render_context = nullptr;
}

// Width and height as FFI::Misc#calcstringbox answers them.
static void measure(const std::string &text, int size_enum, float *w, float *h)
{
    std::string box = host_fixture_eval("FFI::Misc.new.calcstringbox(" + host_fixture_eval("'" + text + "'") + ", " +
                                        std::to_string(size_enum) + ", 'font.ttf')");
    *w = *h = -1;
    sscanf(box.c_str(), "[%f, %f]", w, h);
}

class TextMeasure : public FrameFixture {};

TEST_F(TextMeasure, CalcstringboxMeasuresTextAsTheLabelDrawsIt)
{
    struct {
        const char *text;
        int size_enum;
    } cases[] = {{"Hello World", 0}, {"AVAWAY To", 0}, {"iiii llll", 3}, {"Wide MW", 10}, {"x", 40}, {"ABC", 117},
                 {"ABC", 1000000}, {"ABC", -12}};
    for (const auto &c : cases) {
        float w, h;
        measure(c.text, c.size_enum, &w, &h);
        frame_label l = {0, (float)H, frame_cstring(c.text), frame_cstring("font.ttf"), (float)c.size_enum, 0, 255, 255, 255, 255};
        run_and_free(window_frame([&](threadstream *s) { frame_write_label(s, l); }));
        int left, top, right, bottom;
        ASSERT_EQ(4, sscanf(ink_box(0, 0, W - 1, H - 1).c_str(), "%d %d %d %d", &left, &top, &right, &bottom)) << c.text;
        // The ink lies inside the measured line: its width loses under a pixel per glyph to
        // whole advances and the last glyph's ink ends short of its advance.
        float glyphs = (float)strlen(c.text), px = (float)fontatlas_label_pixel_size(c.size_enum);
        bool cut = right >= W - 1; // the 255-pixel labels run past the window
        EXPECT_GE(left, 0) << c.text;
        if (!cut) {
            EXPECT_LE((float)right + 1, w + glyphs) << c.text << " " << c.size_enum;
            EXPECT_GE((float)right + 1, w - px / 4) << c.text << " " << c.size_enum;
        }
        EXPECT_LE((float)bottom + 1, std::min(h, (float)H)) << c.text << " " << c.size_enum;
        EXPECT_GE((float)(bottom - top + 1), px * 0.4f) << c.text << " " << c.size_enum;
    }
    // Sizes past what a glyph key holds measure as the label draws them: at 255 pixels.
    EXPECT_EQ(host_fixture_eval("FFI::Misc.new.calcstringbox('ABC', 117, 'font.ttf')"),
              host_fixture_eval("FFI::Misc.new.calcstringbox('ABC', 2**62, 'font.ttf')"));
    EXPECT_EQ("[255.0, 255.0, 255.0, 102.0]",
              host_fixture_eval("m = FFI::Misc.new; [117, -12, 2**40, 40].map { |s| m.calcstringbox('', s, 'font.ttf')[1].round }"
                                ".map(&:to_f)"));
    // A size a hair under a half measures as the label draws it, its size held in a float.
    EXPECT_EQ("[23, 23, 25, 25]", host_fixture_eval("m = FFI::Misc.new; [0.49999999, 0.5, 1.4999999999, 1.5]"
                                                    ".map { |s| m.calcstringbox('', s, 'font.ttf')[1].round }"));
    // The runtime's measure (scaled from size 40) takes the pixel size the label is drawn at.
    EXPECT_EQ("[25, 24, 21, 255, 255]",
              host_fixture_eval("r = ZOQ::Runtime.new('Linux', false, 1280, 720, './zintarel game', './zintarel'); "
                                "[1.5, 1, -0.5, 200, -12].map { |s| r.calcstringbox('', s)[1] }"));
}

// 600 ticks of a game that measures text in two fonts (one loaded by the measuring itself)
// while the render thread draws labels of new glyphs and sizes in both every frame.
class TextThreads : public RenderFixture {};

TEST_F(TextThreads, MeasuringWhileLabelsDrawSharesTheFontCacheSafely)
{
    ASSERT_TRUE(open()) << SDL_GetError();
    ffi_render_context = ctx;
    write_file(fx.game_dir + "/other.ttf", read_file(default_font_file));
    write_file(fx.game_dir + "/app/main.rb",
               "$widths = []\n"
               "def tick args\n"
               "  t = args.tick_count\n"
               "  text = (0..5).map { |i| [0x400 + (t * 6 + i) % 0x180].pack('U') }.join\n"
               "  size = t % 23\n"
               "  args.outputs.labels << [10, 700, text, size, 0, 255, 255, 255, 255, 'font.ttf']\n"
               "  args.outputs.labels << [10, 300, text.reverse, size + 1, 0, 255, 255, 255, 255, 'other.ttf']\n"
               "  $widths << $zoq.calcstringbox(text, size)[0] + $zoq.ffi_misc.calcstringbox(text, size, 'other.ttf')[0]\n"
               "  $zoq.request_quit if t == 600\n"
               "end\n");
    run_both_threads(ctx, channel);
    EXPECT_EQ("[601, true]", host_fixture_eval("[$widths.length, $widths.all? { |w| w > 0 }]"));
    ffi_render_context = nullptr;
}

// The machine's own address: numeric, never loopback, and refused when it does not fit.
TEST(Address, TheLocalAddressIsNumericNotLoopbackAndMustFitItsBuffer)
{
    char address[64] = "", untouched[4] = "abc";
    int found = network_get_local_address(address, sizeof address);
    EXPECT_EQ(0, network_get_local_address(untouched, 0));
    EXPECT_STREQ("abc", untouched);
    if (!found) GTEST_SKIP() << "this machine has no address besides loopback";
    std::string text = address;
    EXPECT_TRUE(text != "127.0.0.1" && text != "::1" && !text.empty()) << text;
    EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789abcdefABCDEF.:%_-" "abcdefghijklmnopqrstuvwxyz")) << text;
    // A buffer one byte short of the text and its NUL answers 0.
    std::vector<char> tight(text.size());
    EXPECT_EQ(0, network_get_local_address(tight.data(), tight.size()));
    EXPECT_EQ(1, network_get_local_address(address, text.size() + 1));
}
