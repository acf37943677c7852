// A real window and software renderer under the dummy video driver (display 1024 x 768)
// over a host fixture, with the default font in the game folder; pixels read back.
#pragma once
#include "host/channel.h"
#include "host/metadata.h"
#include "render/frame_format.h"
#include "render/render.h"
#include "support/host_test.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>

static const char *default_font_file = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

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
