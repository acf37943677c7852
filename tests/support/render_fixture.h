// A real window over a host fixture, with the default font in the game folder; pixels read
// back. ctest runs the pixel tests twice: under the dummy video driver (SDL's software
// renderer, display 1024 x 768) and under Xvfb with the x11 driver (OpenGL, as players get it,
// on a 1024 x 768 screen); each run checks it got the renderer it is for.
#pragma once
#include "base/channel.h"
#include "base/metadata.h"
#include "ffi/ffi.h"
#include "render/frame_format.h"
#include "render/image.h"
#include "render/render.h"
#include "support/host_test.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <string.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

static const char *default_font_file = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

inline const char *expected_renderer()
{
    const char *driver = SDL_getenv("SDL_VIDEODRIVER");
    return driver && strcmp(driver, "x11") == 0 ? "opengl" : "software";
}

class RenderFixture : public HostTest {
  protected:
    render_context *ctx = nullptr;
    thread_channel *channel = nullptr;

    void SetUp() override
    {
        HostTest::SetUp();
        ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_VIDEO)) << SDL_GetError();
        write_file(fx.game_dir + "/font.ttf", read_file(default_font_file));
        game_metadata_forget();
        channel = thread_channel_create();
        ASSERT_TRUE(channel);
    }

    void TearDown() override
    {
        render_context_delete(ctx);
        thread_channel_delete(channel);
        game_metadata_forget();
        HostTest::TearDown();
    }

    render_context *open(int fullscreen = 0, int32_t lw = 1280, int32_t lh = 720, int32_t ww = -1, int32_t wh = -1)
    {
        ctx = render_context_new(channel, fullscreen, 1, lw, lh, ww, wh, -1, -1);
        SDL_RendererInfo info;
        if (ctx && SDL_GetRendererInfo(ctx->renderer, &info) == 0) {
            EXPECT_STREQ(expected_renderer(), info.name) << "this run is for another renderer";
        }
        return ctx;
    }

    // The window's pixel at (x, y) as 0xAABBGGRR.
    uint32_t pixel(int x = 4, int y = 4)
    {
        uint32_t px = 0;
        SDL_Rect one = {x, y, 1, 1};
        SDL_RenderReadPixels(ctx->renderer, &one, SDL_PIXELFORMAT_ABGR8888, &px, 4);
        return px;
    }

    // A frame of one window pass cleared to (r, g, b), with a grid command before it.
    threadstream *frame(int32_t grid_x, int window_passes = 1, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0)
    {
        threadstream *s = threadstream_allocate();
        frame_write_grid(s, frame_grid{(float)grid_x, 0.0f, 1});
        frame_write_passes(s, (uint32_t)window_passes, 0);
        for (int i = 0; i < window_passes; i++) {
            frame_write_pass_header(s, frame_pass_header{r, g, b, 255, {nullptr, 0}, 0, 0, 0});
            frame_write_u32(s, DRAW_END_PASS);
        }
        return s;
    }

    void drain_sdl_events()
    {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
    }
};


class RenderLoop : public RenderFixture {};

static const uint32_t RED = 0xFF0000FFu, GREEN = 0xFF00FF00u, BLUE = 0xFFFF0000u, WHITE = 0xFFFFFFFFu,
                      BLACK = 0xFF000000u;

// A 320 x 240 window with the bottom-left grid, the quadrant picture "quad.png" in the game
// folder, and helpers that write frames and read back what they drew.
class FrameFixture : public RenderFixture {
  protected:
    static const int W = 320, H = 240;

    void SetUp() override
    {
        RenderFixture::SetUp();
        ASSERT_TRUE(open(0, W, H)) << SDL_GetError();
        draw_init(ctx, fx.game_dir.c_str());
        ffi_render_context = ctx;
        // A 64 x 64 picture: red, green on top; blue, white below.
        write_png("quad.png", quad_pixels(64), 64, 64);
    }

    void TearDown() override
    {
        ffi_render_context = nullptr;
        RenderFixture::TearDown();
    }

    static std::vector<uint32_t> quad_pixels(int n)
    {
        std::vector<uint32_t> px((size_t)n * n);
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                px[(size_t)y * n + x] = y < n / 2 ? (x < n / 2 ? RED : GREEN) : (x < n / 2 ? BLUE : WHITE);
        return px;
    }

    void write_png(const std::string &name, const std::vector<uint32_t> &px, int w, int h)
    {
        size_t size = 0;
        uint8_t *png = encode_png(px.data(), w, h, 0, 0, &size);
        ASSERT_TRUE(png);
        write_file(fx.game_dir + "/" + name, std::string((const char *)png, size));
        SDL_free(png);
    }

    static void grid(threadstream *s, float x = 0, float y = H) { frame_write_grid(s, frame_grid{x, y, -1}); }

    static frame_pass_header pass(const char *target = nullptr, int32_t w = 0, int32_t h = 0, uint32_t transient = 0,
                                  int32_t r = 0, int32_t g = 0, int32_t b = 0)
    {
        return frame_pass_header{r, g, b, 255, frame_cstring(target), w, h, transient};
    }

    static void empty_pass(threadstream *s, const frame_pass_header &h)
    {
        frame_write_pass_header(s, h);
        frame_write_u32(s, DRAW_END_PASS);
    }

    // The bottom-left grid, then one window pass cleared black holding body's records.
    static threadstream *window_frame(const std::function<void(threadstream *)> &body)
    {
        threadstream *s = threadstream_allocate();
        grid(s);
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, pass());
        body(s);
        frame_write_u32(s, DRAW_END_PASS);
        return s;
    }

    void run(threadstream *s, int catch_up = 0, int rerun = 0)
    {
        s->read_position = 0;
        draw_process_frame(ctx, s, catch_up, rerun);
    }

    void run_and_free(threadstream *s, int catch_up = 0, int rerun = 0)
    {
        run(s, catch_up, rerun);
        threadstream_free(s);
    }

    static frame_sprite sprite(const char *path, float x = 0, float y = 0, float w = 64, float h = 64)
    {
        frame_sprite p = {};
        p.path = frame_cstring(path);
        p.x = x, p.y = y, p.w = w, p.h = h;
        p.r = p.g = p.b = p.a = 255;
        p.tile_w = p.tile_h = p.source_w = p.source_h = -1;
        p.angle_anchor_x = p.angle_anchor_y = 0.5f;
        return p;
    }

    // The four quadrant centres of a 64 x 64 sprite at the bottom-left corner, as drawn.
    std::string quadrants()
    {
        char b[64];
        snprintf(b, sizeof b, "%08X %08X %08X %08X", pixel(16, H - 48), pixel(48, H - 48), pixel(16, H - 16),
                 pixel(48, H - 16));
        return b;
    }

    // The first texel of a cached texture.
    uint32_t texel(const char *name)
    {
        texture_cache_entry *e = texture_cache_lookup(ctx, name);
        if (!e || !e->texture) return 0;
        SDL_SetRenderTarget(ctx->renderer, e->texture);
        uint32_t px = pixel(0, 0);
        SDL_SetRenderTarget(ctx->renderer, nullptr);
        return px;
    }

    // The box of non-black window pixels inside (x0, y0)-(x1, y1): "left top right bottom".
    std::string ink_box(int x0, int y0, int x1, int y1)
    {
        std::vector<uint32_t> px((size_t)W * H);
        SDL_RenderReadPixels(ctx->renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, px.data(), W * 4);
        int l = W, t = H, r = -1, b = -1;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                if (px[(size_t)y * W + x] != BLACK) l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
        return std::to_string(l) + " " + std::to_string(t) + " " + std::to_string(r) + " " + std::to_string(b);
    }
};
