// The frame interpreter's rules, read back as pixels on the renderer of the run (see
// render_fixture.h; ordinary scenes are in scenes_test.cpp): geometry far outside the window,
// sprite edge cases, render targets, catch-up and re-run frames, labels against DejaVu Sans's
// metrics, screenshots, pixel uploads, the reader's rules, and damaged streams.
#include "render/fontatlas.h"
#include "ffi/ffi.h"
#include "support/render_fixture.h"

#include <functional>
#include <random>
#include <stdlib.h>

class Frame : public FrameFixture {};

TEST_F(Frame, PrimitivesLandWhereTheGridPutsThem)
{
    struct {
        const char *what;
        uint32_t code;
        frame_rect rect;
        int x, y; // window pixel (y down) that takes the colour
        uint32_t inside;
        int ox, oy; // and one that stays black
    } cases[] = {
        {"negative width folds", DRAW_SOLID, {200, 10, -50, 20, 255, 255, 255, 255}, 160, H - 15, WHITE, 205, H - 15},
        {"colours clamp", DRAW_SOLID, {10, 100, 10, 10, 300, -5, 0, 999}, 15, H - 105, RED, 25, H - 105},
        {"half alpha", DRAW_SOLID, {50, 100, 10, 10, 255, 0, 0, 128}, 55, H - 105, 0xFF000080u, 45, H - 105},
        // Far past the window: cut to it before the renderer sums or stages anything.
        // (2^27 high from y 176 keeps every value exact in single precision)
        {"huge solid", DRAW_SOLID, {100, 176, 3e9f, 134217728, 0, 0, 255, 255}, 300, 5, BLUE, 99, 5},
        {"far line", DRAW_LINE, {-3e9f, 200, 3e9f, 200, 255, 0, 0, 255}, 300, H - 200, RED, 300, H - 199},
        {"huge border", DRAW_BORDER, {-5, 176, 3e9f, 134217728, 0, 255, 0, 255}, 200, H - 177, GREEN, 200, H - 178},
    };
    for (const auto &c : cases) {
        run_and_free(window_frame([&](threadstream *s) { frame_write_rect(s, c.code, c.rect); }));
        EXPECT_EQ(c.inside, pixel(c.x, c.y)) << c.what;
        EXPECT_EQ(BLACK, pixel(c.ox, c.oy)) << c.what;
    }
    // Before any grid command rectangles have no size, so nothing is drawn.
    draw_init(ctx, fx.game_dir.c_str());
    threadstream *s = threadstream_allocate();
    frame_write_passes(s, 1, 0);
    frame_write_pass_header(s, pass());
    frame_write_rect(s, DRAW_SOLID, frame_rect{0, 0, 100, 100, 255, 255, 255, 255});
    frame_write_u32(s, DRAW_END_PASS);
    run_and_free(s);
    EXPECT_EQ("320 240 -1 -1", ink_box(0, 0, W - 1, H - 1));
}

TEST_F(Frame, SpritesTileSourceFlipRotateTintAndFallBackToTheMissingTexture)
{
    struct {
        const char *what;
        std::function<void(frame_sprite &)> change;
        const char *quads; // top-left, top-right, bottom-left, bottom-right
    } cases[] = {
        {"flip horizontally", [](frame_sprite &p) { p.flip_horizontally = 1; }, "FF00FF00 FF0000FF FFFFFFFF FFFF0000"},
        {"flip vertically", [](frame_sprite &p) { p.flip_vertically = 7; }, "FFFF0000 FFFFFFFF FF0000FF FF00FF00"},
        {"half turn", [](frame_sprite &p) { p.angle = 180; }, "FFFFFFFF FFFF0000 FF00FF00 FF0000FF"},
        {"quarter turn counter-clockwise", [](frame_sprite &p) { p.angle = 90; },
         "FF00FF00 FFFFFFFF FF0000FF FFFF0000"},
        {"negative width", [](frame_sprite &p) { p.x = 64, p.w = -64; }, "FF0000FF FF00FF00 FFFF0000 FFFFFFFF"},
        {"source past the texture", [](frame_sprite &p) { p.source_x = 64; }, "FF000000 FF000000 FF000000 FF000000"},
        {"200 times larger is cut to the window", [](frame_sprite &p) { p.w = p.h = 12800; },
         "FFFF0000 FFFF0000 FFFF0000 FFFF0000"},
        {"turned far outside", [](frame_sprite &p) { p.x = 1e9f, p.angle = 30; }, "FF000000 FF000000 FF000000 FF000000"},
    };
    for (const auto &c : cases) {
        frame_sprite p = sprite("quad.png");
        c.change(p);
        run_and_free(window_frame([&](threadstream *s) { frame_write_sprite(s, p); }));
        EXPECT_EQ(c.quads, quadrants()) << c.what;
    }

    // A file that cannot be read shows the red-framed checkerboard and is tried again later.
    run_and_free(window_frame([&](threadstream *s) { frame_write_sprite(s, sprite("late.png", 0, 0, 256, 256)); }));
    EXPECT_EQ(RED, pixel(0, 100));
    EXPECT_EQ(RED, pixel(255, 100));
    EXPECT_NE(RED, pixel(128, 100));
    write_png("late.png", quad_pixels(64), 64, 64);
    run_and_free(window_frame([&](threadstream *s) { frame_write_sprite(s, sprite("late.png")); }));
    EXPECT_EQ("FF0000FF FF00FF00 FFFF0000 FFFFFFFF", quadrants());

    // Unloading drops the texture; the next draw reads the file as it is now.
    write_png("late.png", std::vector<uint32_t>(64 * 64, GREEN), 64, 64);
    threadstream *s = threadstream_allocate();
    frame_write_string_record(s, DRAW_UNLOAD_SPRITE, frame_cstring("late.png"));
    run_and_free(s);
    EXPECT_EQ(nullptr, texture_cache_lookup(ctx, "late.png")->texture);
    run_and_free(window_frame([&](threadstream *s) { frame_write_sprite(s, sprite("late.png")); }));
    EXPECT_EQ("FF00FF00 FF00FF00 FF00FF00 FF00FF00", quadrants());
}

TEST_F(Frame, RenderTargetsAreReusedRemadeOnANewSizeAndKeepACentreOrigin)
{
    auto target_frame = [&](int32_t side, float gx, float gy) {
        threadstream *s = threadstream_allocate();
        grid(s, gx, gy);
        frame_write_passes(s, 2, 0);
        frame_write_pass_header(s, pass("rt", side, side, 0, 0, 255, 0));
        frame_write_rect(s, DRAW_SOLID, frame_rect{-gx, 0, 8, 8, 255, 0, 0, 255}); // its bottom-left corner
        frame_write_u32(s, DRAW_END_PASS);
        frame_write_pass_header(s, pass());
        frame_write_sprite(s, sprite("rt", -gx, H - gy, 64, 64));
        frame_write_u32(s, DRAW_END_PASS);
        return s;
    };
    run_and_free(target_frame(16, 0, H));
    EXPECT_EQ("FF00FF00 FF00FF00 FF0000FF FF00FF00", quadrants());
    SDL_Texture *first = texture_cache_lookup(ctx, "rt")->texture;
    run_and_free(target_frame(16, 0, H));
    EXPECT_EQ(first, texture_cache_lookup(ctx, "rt")->texture);
    run_and_free(target_frame(32, 0, H));
    int w = 0;
    SDL_QueryTexture(texture_cache_lookup(ctx, "rt")->texture, nullptr, nullptr, &w, nullptr);
    EXPECT_EQ(32, w);
    // Sizes past the cap (or below one pixel) make no target: the pass is skipped.
    threadstream *big = threadstream_allocate();
    frame_write_passes(big, 2, 0);
    empty_pass(big, pass("big", 20000, 20000));
    empty_pass(big, pass("flat", 16, 0));
    run_and_free(big);
    EXPECT_EQ(nullptr, texture_cache_lookup(ctx, "big")->texture);
    EXPECT_EQ(nullptr, texture_cache_lookup(ctx, "flat")->texture);
    // A centre origin stays in force in the window after a render-target pass.
    run_and_free(target_frame(32, W / 2, H / 2));
    EXPECT_EQ(H / 2, ctx->grid_y);
    threadstream *s = window_frame([](threadstream *s) { frame_write_rect(s, DRAW_SOLID, frame_rect{0, 0, 4, 4, 0, 0, 255, 255}); });
    s->read_position = 16; // past the frame's own bottom-left grid
    draw_process_frame(ctx, s, 0, 0);
    threadstream_free(s);
    EXPECT_EQ(BLUE, pixel(W / 2 + 1, H / 2 - 2));
}

TEST_F(Frame, CatchUpKeepsTargetsCurrentAndReRunsRepeatNoOneOffCommand)
{
    auto frame = [&](int32_t shade, bool screenshot) {
        threadstream *s = threadstream_allocate();
        frame_write_grid(s, frame_grid{(float)shade, H, -1});
        frame_write_passes(s, 3, screenshot);
        empty_pass(s, pass("keep", 4, 4, 0, shade, 0, 0));
        empty_pass(s, pass("temp", 4, 4, 1, 0, shade, 0));
        empty_pass(s, pass(nullptr, 0, 0, 0, 0, 0, shade));
        if (screenshot) frame_write_screenshot(s, frame_screenshot{frame_cstring("once.png"), 0, 0, 4, 4, 0, 0, 0, 0, 0});
        return s;
    };
    run_and_free(frame(10, false));
    // The lasting target, the transient one, the window and the grid.
    auto state = [&] {
        char b[64];
        snprintf(b, sizeof b, "%08X %08X %08X %d", texel("keep"), texel("temp"), pixel(), ctx->grid_x);
        return std::string(b);
    };
    run_and_free(frame(200, false), 1, 0); // catch-up: only the lasting target is drawn
    EXPECT_EQ("FF0000C8 FF000A00 FF0A0000 200", state());
    ctx->grid_x = 0;
    threadstream *shown = frame(100, true);
    run(shown);
    EXPECT_EQ("FF000064 FF006400 FF640000 100", state());
    std::string shot = fx.game_dir + "/once.png";
    EXPECT_TRUE(read_file(shot, "none") != "none");
    remove(shot.c_str());
    ctx->grid_x = 0;
    run_and_free(frame(30, false));
    run(shown, 0, 1); // re-run: every pass again, no screenshot, no grid
    threadstream_free(shown);
    EXPECT_EQ("FF000064 FF006400 FF640000 30", state());
    EXPECT_EQ("none", read_file(shot, "none"));
}

TEST_F(Frame, LabelsFollowDejaVuSansMetricsForSizeAndAlignment)
{
    // DejaVu Sans: ascent 1901, descent -483 (2,384 units to 22 pixels at size 0); "H" is
    // 1,540 units wide with its ink from 201 to 1,339 and 1,493 high.
    struct {
        float size_enum;
        int32_t alignment;
        const char *box; // left top right bottom in window pixels, for a label at (100, 100)
    } cases[] = {
        {0, 0, "101 143 112 156"}, // 22 px: ink 1 px right of the pen, 14 rows over the baseline at 157.5
        {0, 2, "86 143 97 156"},   // right: the pen starts 14.2 px left of x
        {0, 1, "93 143 104 156"},  // centre
        {5, 0, "102 144 117 164"},   // 32 px
        {1, 0, "102 143 113 158"},    // 24 px
        {1.5f, 0, "102 143 114 158"}, // 25 px: twice the size, then truncated
        {-0.5f, 0, "101 142 111 155"}, // 21 px
        {-12, 0, "121 183 243 239"}, // a negative size reads as the largest, 255 px (cut by the window)
    };
    for (const auto &c : cases) {
        frame_label l = {100, 100, frame_cstring("H"), {nullptr, 0}, c.size_enum, c.alignment, 255, 255, 255, 255};
        run_and_free(window_frame([&](threadstream *s) { frame_write_label(s, l); }));
        EXPECT_EQ(c.box, ink_box(0, 0, W - 1, H - 1)) << c.size_enum << " " << c.alignment;
    }
    // Measured on the simulation thread's side: width from whole advances plus kerning
    // ("AV" kerns by -131 units), height from the pixel size; a font that does not load
    // measures in the default font.
    EXPECT_EQ("[[0.0, 22.0], [14.0, 22.0], [20.0, 32.0], [22.79, 22.0], [14.0, 22.0], [0.0, 25.0], [0.0, 21.0]]",
              host_fixture_eval("m = FFI::Misc.new; [['', 0], ['H', 0], ['H', 5], ['AV', 0], ['H', 0, 'no.ttf'], ['', 1.5], "
                                "['', -0.5]]"
                                ".map { |t, s, f| b = m.calcstringbox(t, s, f || 'font.ttf'); [b[0].round(2), b[1].round(2)] }"));
    // Glyph keys keep sizes above 255 apart from other code points.
    fontatlas *font = ctx->default_font;
    const fontatlas_glyph *big = fontatlas_getglyph(font, 'H', 300);
    const fontatlas_glyph *small = fontatlas_getglyph(font, 'H' + 1, 300 & 0xFF);
    ASSERT_TRUE(big && small);
    EXPECT_NE(big, small);
    EXPECT_EQ(188, big->h); // 1,493 units at 300 px
    // A glyph larger than a page is refused but keeps its advance, and opens no page.
    int pages = fontatlas_page_count(font);
    const fontatlas_glyph *huge = fontatlas_getglyph(font, 'W', 2000);
    ASSERT_TRUE(huge);
    EXPECT_EQ(nullptr, huge->texture);
    EXPECT_GT(huge->advance, 1000.0f);
    EXPECT_EQ(pages, fontatlas_page_count(font));
}

// Measuring on another thread while the render thread rasterises new glyphs of the same
// font: both go through the font lock.
static int measure_many(void *)
{
    for (int i = 0; i < 300; i++)
        host_fixture_eval("FFI::Misc.new.calcstringbox('" + std::to_string(i) + "\u00e9\u0416', " +
                          std::to_string(i % 20) + ", 'font.ttf')");
    return 0;
}

TEST_F(Frame, LabelsInTargetsOfAHighDensityWindowKeepTheTargetsSizeWhileTextIsMeasured)
{
    // 1280 x 720 on the 1024 x 768 display: output and logical sizes differ.
    render_context_delete(ctx);
    ASSERT_TRUE(open(0, 1280, 720)) << SDL_GetError();
    ffi_render_context = ctx;
    SDL_Thread *measurer = SDL_CreateThread(measure_many, "measure", nullptr);
    for (int i = 0; i < 60; i++) {
        threadstream *s = threadstream_allocate();
        grid(s, 0, 720);
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, pass("t", W, H));
        std::string text = "H" + std::to_string(i * 7) + "\xc3\xa9";
        frame_write_label(s, frame_label{100, 100, frame_cstring(text.c_str()), {nullptr, 0}, (float)(i % 9), 0, 255, 255,
                                         255, 255});
        frame_write_u32(s, DRAW_END_PASS);
        run_and_free(s);
    }
    SDL_WaitThread(measurer, nullptr);
    // The same label as in the window of the other tests: 22 px, from the target's own top.
    threadstream *s = threadstream_allocate();
    grid(s, 0, 720);
    frame_write_passes(s, 1, 0);
    frame_write_pass_header(s, pass("t", W, H));
    frame_write_label(s, frame_label{100, 100, frame_cstring("H"), {nullptr, 0}, 0, 0, 255, 255, 255, 255});
    frame_write_rect(s, DRAW_SOLID, frame_rect{0, 0, 10, 10, 255, 0, 0, 255}); // drawn after it at full scale
    frame_write_u32(s, DRAW_END_PASS);
    run_and_free(s);
    SDL_SetRenderTarget(ctx->renderer, texture_cache_lookup(ctx, "t")->texture);
    EXPECT_EQ("101 143 112 156", ink_box(20, 0, W - 1, H - 1));
    EXPECT_EQ(RED, pixel(9, H - 10));
    SDL_SetRenderTarget(ctx->renderer, nullptr);
}

TEST_F(Frame, ScreenshotsApplyOnlyAGivenColourKeyAndStayInsideTheCanvas)
{
    threadstream *s = threadstream_allocate();
    grid(s);
    frame_write_passes(s, 1, 1);
    frame_write_pass_header(s, pass());
    frame_write_rect(s, DRAW_SOLID, frame_rect{0, 0, 10, 10, 255, 0, 255, 255});
    frame_write_rect(s, DRAW_SOLID, frame_rect{10, 0, 10, 10, 245, 10, 250, 255});
    frame_write_rect(s, DRAW_SOLID, frame_rect{20, 0, 10, 10, 0, 255, 0, 255});
    frame_write_u32(s, DRAW_END_PASS);
    auto shot = [&](const char *path, float x, float y, float w, float h, int32_t tolerance, int32_t r, int32_t g,
                    int32_t b, int32_t a) {
        frame_write_screenshot(s, frame_screenshot{frame_cstring(path), x, y, w, h, tolerance, r, g, b, a});
    };
    shot("shots/key.png", 0, 0, 40, 10, 10, 255, 0, 255, 0);
    shot("shots/plain.png", 0, 0, 40, 10, 0, 0, 0, 0, 0);
    shot("shots/clip.png", -5, -5, 10.9, 10.9, 0, 0, 0, 0, 0);
    shot("shots/huge.png", 0, 0, 1e9f, 1e9f, 0, 0, 0, 0, 0);
    run_and_free(s);
    EXPECT_EQ(0xFFFF00FFu, pixel(5, H - 5)); // the window shows the same pass

    struct {
        const char *path;
        int w, h;
        std::vector<std::pair<int, uint32_t>> row0; // x, pixel on the top row
    } cases[] = {
        {"shots/key.png", 40, 10, {{5, 0x00FF00FFu}, {15, 0x00FA0AF5u}, {25, GREEN}, {35, BLACK}}},
        {"shots/plain.png", 40, 10, {{5, 0xFFFF00FFu}, {25, GREEN}, {35, BLACK}}},
        {"shots/clip.png", 5, 6, {{0, 0xFFFF00FFu}}}, // whole pixels: 10.9 high from 234.1 is rows 234 to 239
        {"shots/huge.png", W, H, {{0, BLACK}}},
    };
    for (const auto &c : cases) {
        int32_t w = 0, h = 0;
        uint32_t *px = load_image(c.path, &w, &h);
        ASSERT_TRUE(px) << c.path;
        EXPECT_EQ(c.w, w) << c.path;
        EXPECT_EQ(c.h, h) << c.path;
        for (auto &probe : c.row0) EXPECT_EQ(probe.second, px[probe.first]) << c.path << " x " << probe.first;
        free_image(px);
    }
}

TEST_F(Frame, AColourKeyTakesEveryChannelUpToItsToleranceOnEitherSideAndNoFurther)
{
    // A key every channel can pass on both sides: 10 px wide cells, each one channel off the key.
    const int32_t key[3] = {100, 120, 140}, t = 7;
    struct {
        int channel, offset;
        bool keyed;
    } cells[] = {
        {0, 0, true},
        {0, t, true}, {0, t + 1, false}, {0, -t, true}, {0, -t - 1, false},
        {1, t, true}, {1, t + 1, false}, {1, -t, true}, {1, -t - 1, false},
        {2, t, true}, {2, t + 1, false}, {2, -t, true}, {2, -t - 1, false},
    };
    const int n = (int)(sizeof cells / sizeof cells[0]);
    std::vector<uint32_t> colours; // as the picture holds them, 0xAABBGGRR without the alpha
    threadstream *s = threadstream_allocate();
    grid(s);
    frame_write_passes(s, 1, 1);
    frame_write_pass_header(s, pass());
    for (int i = 0; i < n; i++) {
        int32_t c[3] = {key[0], key[1], key[2]};
        c[cells[i].channel] += cells[i].offset;
        frame_write_rect(s, DRAW_SOLID, frame_rect{10.0f * i, 0, 10, 10, c[0], c[1], c[2], 255});
        colours.push_back((uint32_t)c[2] << 16 | (uint32_t)c[1] << 8 | (uint32_t)c[0]);
    }
    frame_write_u32(s, DRAW_END_PASS);
    frame_write_screenshot(s, frame_screenshot{frame_cstring("shots/bounds.png"), 0, 0, 10.0f * n, 10, t, key[0],
                                                key[1], key[2], 0});
    run_and_free(s);
    int32_t w = 0, h = 0;
    uint32_t *px = load_image("shots/bounds.png", &w, &h);
    ASSERT_TRUE(px);
    ASSERT_EQ(10 * n, w);
    for (int i = 0; i < n; i++)
        EXPECT_EQ((cells[i].keyed ? 0u : 0xFF000000u) | colours[i], px[10 * i + 5])
            << "channel " << cells[i].channel << " off the key by " << cells[i].offset;
    free_image(px);
}

TEST_F(Frame, PixelUploadsBecomeTexturesAndPngsRoundTrip)
{
    // (A drawn upload is among the scenes.) Sizes that do not add up make no texture.
    std::vector<uint32_t> four = {RED, GREEN, BLUE, WHITE};
    threadstream *uploads = threadstream_allocate();
    frame_write_upload(uploads, frame_upload{frame_cstring("short"), 2, 2, {(const char *)four.data(), 12}});
    frame_write_upload(uploads, frame_upload{frame_cstring("none"), 0, 0, {(const char *)four.data(), 0}});
    run_and_free(uploads);
    EXPECT_EQ(nullptr, texture_cache_lookup(ctx, "short")->texture);
    EXPECT_EQ(nullptr, texture_cache_lookup(ctx, "none")->texture);

    // PNG output: the same size decodes to the same pixels; a scaled one keeps the colour of
    // translucent pixels; one equal side keeps the source size.
    std::vector<uint32_t> translucent(4, 0x800000FFu);
    struct {
        const std::vector<uint32_t> *px;
        int out_w, out_h, w, h;
        uint32_t first;
    } cases[] = {{&four, 0, 0, 2, 2, RED}, {&translucent, 4, 4, 4, 4, 0x800000FFu}, {&four, 2, 5, 2, 2, RED}};
    for (const auto &c : cases) {
        size_t size = 0;
        uint8_t *png = encode_png(c.px->data(), 2, 2, c.out_w, c.out_h, &size);
        ASSERT_TRUE(png);
        write_file(fx.game_dir + "/out.png", std::string((const char *)png, size));
        SDL_free(png);
        int32_t w = 0, h = 0;
        uint32_t *back = load_image("out.png", &w, &h);
        ASSERT_TRUE(back);
        EXPECT_EQ(c.w, w);
        EXPECT_EQ(c.h, h);
        EXPECT_EQ(c.first, back[0]);
        if (c.out_w == 0) {
            EXPECT_EQ(0, memcmp(back, four.data(), 16));
        }
        free_image(back);
    }
}

TEST_F(Frame, ReaderRulesDecideWhatRuns)
{
    struct {
        const char *what;
        std::function<void(threadstream *)> write;
        int32_t grid_x; // -1: no grid was applied
    } cases[] = {
        {"a primitive outside a pass ends the frame",
         [](threadstream *s) { frame_write_rect(s, DRAW_SOLID, frame_rect{}); frame_write_grid(s, frame_grid{5, 0, 1}); }, -1},
        {"an unknown code ends the frame", [](threadstream *s) { frame_write_u32(s, 99); frame_write_grid(s, frame_grid{5, 0, 1}); },
         -1},
        {"no passes, and a negative count, read nothing more",
         [](threadstream *s) {
             frame_write_passes(s, 0, 0); frame_write_passes(s, 0xFFFFFFFFu, 1); frame_write_grid(s, frame_grid{5, 0, 1});
         },
         5},
        {"a stray grid code in a pass is bare: its fields are read as codes (9 ends the pass)",
         [](threadstream *s) {
             frame_write_passes(s, 1, 0); frame_write_pass_header(s, pass());
             frame_write_grid(s, frame_grid{0, 0, DRAW_END_PASS}); frame_write_grid(s, frame_grid{6, 0, 1});
         },
         6},
        {"a record cut short is not applied", [](threadstream *s) { frame_write_grid(s, frame_grid{5, 0, 1}); s->length -= 4; }, -1},
        {"a string whose NUL is missing stops the reader",
         [](threadstream *s) {
             frame_write_string_record(s, DRAW_UNLOAD_SPRITE, frame_cstring("abcd"));
             s->data[4 + 4 + 4] = 'x';
             frame_write_grid(s, frame_grid{5, 0, 1});
         },
         -1},
    };
    for (const auto &c : cases) {
        draw_init(ctx, fx.game_dir.c_str());
        ctx->grid_x = -1;
        threadstream *s = threadstream_allocate();
        c.write(s);
        run_and_free(s);
        EXPECT_EQ(c.grid_x, ctx->grid_set ? ctx->grid_x : -1) << c.what;
    }
}

// Every truncation of a frame holding every record, then mutated and random streams: the
// reader stays inside the stream (run under the sanitizers by scripts/fuzz.sh, which also
// raises the count through ZINTAREL_FUZZ_ITERATIONS).
TEST_F(Frame, DamagedStreamsAreNeverReadPastTheirEnd)
{
    // xdg-open must not be started for the random URLs the mutations make.
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    std::vector<uint32_t> four = {RED, GREEN, BLUE, WHITE};
    threadstream *whole = threadstream_allocate();
    frame_write_upload(whole, frame_upload{frame_cstring("pa"), 2, 2, {(const char *)four.data(), 16}});
    frame_write_string_record(whole, DRAW_UNLOAD_SPRITE, frame_cstring("gone.png"));
    frame_write_flag_record(whole, DRAW_TOGGLE_CURSOR, 1);
    grid(whole);
    frame_write_passes(whole, 2, 1);
    frame_write_pass_header(whole, pass("rt", 8, 8));
    frame_write_rect(whole, DRAW_BORDER, frame_rect{1, 1, 4, 4, 1, 2, 3, 4});
    frame_write_u32(whole, DRAW_NOP);
    frame_write_u32(whole, DRAW_END_PASS);
    frame_write_pass_header(whole, pass());
    frame_write_sprite(whole, sprite("rt"));
    frame_write_sprite(whole, sprite("pa"));
    frame_write_label(whole, frame_label{1, 2, frame_cstring("Aé\xff"), {nullptr, 0}, 1, 1, 1, 2, 3, 4});
    frame_write_rect(whole, DRAW_LINE, frame_rect{1, 2, 3, 4, 1, 2, 3, 4});
    frame_write_u32(whole, DRAW_END_PASS);
    frame_write_screenshot(whole, frame_screenshot{frame_cstring("f.png"), 0, 0, 8, 8, 3, 1, 2, 3, 4});

    threadstream *s = threadstream_allocate();
    auto load = [&](const uint8_t *bytes, size_t n) {
        s->length = 0;
        threadstream_claim_space(s, n);
        memcpy(s->data, bytes, n);
        s->length = n;
        s->read_position = 0;
        s->error = 0;
    };
    auto check = [&](const char *what, size_t i) {
        draw_process_frame(ctx, s, (int)(i % 3 == 1), (int)(i % 3 == 2));
        SDL_RenderFlush(ctx->renderer); // what was queued is drawn now
        ASSERT_LE(s->read_position, s->length) << what << " " << i;
        SDL_Texture *target = SDL_GetRenderTarget(ctx->renderer);
        ASSERT_EQ(nullptr, target) << what << " " << i; // the window is the target again
    };
    for (size_t n = 0; n <= whole->length; n++) {
        load(whole->data, n);
        check("truncated", n);
    }
    const char *env = getenv("ZINTAREL_FUZZ_ITERATIONS");
    long iterations = env ? atol(env) : 1500;
    std::mt19937 random(12345);
    std::vector<uint8_t> bytes;
    for (long i = 0; i < iterations; i++) {
        bytes.assign(whole->data, whole->data + whole->length);
        if (i % 4 == 3) { // wholly random words, opcodes made likely
            bytes.resize(random() % 256 * 4);
            for (size_t k = 0; k < bytes.size(); k += 4) {
                uint32_t v = random() % 2 ? random() % 16 : (uint32_t)random();
                memcpy(&bytes[k], &v, 4);
            }
        } else {
            for (int k = 0, flips = 1 + (int)(random() % 4); k < flips; k++)
                bytes[random() % bytes.size()] = (uint8_t)random();
            bytes.resize(random() % (bytes.size() + 1));
        }
        load(bytes.data(), bytes.size());
        check("mutated", (size_t)i);
    }
    threadstream_free(s);
    threadstream_free(whole);
    setenv("PATH", path.c_str(), 1);
}

TEST_F(Frame, GlyphsPackSideBySideOnTheSkylineAndOpenAPageWhenOneIsFull)
{
    fontatlas *font = fontatlas_new(ctx->renderer, "font.ttf");
    ASSERT_TRUE(font);
    EXPECT_EQ(0, fontatlas_page_count(font));
    // Each glyph keeps a transparent pixel on every side, so none bleeds into its neighbour
    // when drawn scaled: the first sits one pixel in from the page's corner, each next one
    // two pixels right of the one before; the empty glyph (the space) takes a 2 x 2 box.
    const fontatlas_glyph *h = fontatlas_getglyph(font, 'H', 22);
    ASSERT_TRUE(h);
    EXPECT_EQ(1, fontatlas_page_count(font));
    EXPECT_EQ(1, h->x);
    EXPECT_EQ(1, h->y);
    const fontatlas_glyph *before = h;
    for (uint32_t cp : {'N', ' ', 'E', 'I'}) { // all as tall as "H"
        const fontatlas_glyph *g = fontatlas_getglyph(font, cp, 22);
        ASSERT_TRUE(g) << (char)cp;
        EXPECT_EQ(before->x + before->w + 2, g->x) << (char)cp;
        EXPECT_EQ(1, g->y) << (char)cp;
        before = g;
    }
    const fontatlas_glyph *space = fontatlas_getglyph(font, ' ', 22);
    EXPECT_EQ(0, space->w);
    EXPECT_GT(space->advance, 0.0f);
    EXPECT_EQ(nullptr, fontatlas_getglyph(font, 0x10FFFD, 22)); // not in the font
    // Large glyphs fill the page; the next one opens a second page, tried first from then on.
    uint32_t cp = 'A';
    while (fontatlas_page_count(font) < 2) fontatlas_getglyph(font, cp++, 200);
    SDL_Texture *second = fontatlas_getglyph(font, cp - 1, 200)->texture;
    EXPECT_NE(h->texture, second);
    EXPECT_EQ(second, fontatlas_getglyph(font, '.', 22)->texture);
    fontatlas_delete(font);
}
