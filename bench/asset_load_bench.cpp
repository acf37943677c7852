// Prints how long the loaders take on good files: 50 PNGs of 256 x 256 made into sprite
// textures by the frame interpreter (and decoded by load_image), a long Ogg Vorbis file
// decoded into an OpenAL buffer on the loopback device, and DejaVu Sans opened as a font.
// Each figure is the median of ROUNDS cold loads; each is printed only after the loaded
// result was checked. Usage: asset_load_bench FILE.ogg SECONDS_IT_LASTS
#define AL_ALEXT_PROTOTYPES
#include "audio/audio.h"
#include "base/channel.h"
#include "render/fontatlas.h"
#include "render/image.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <AL/al.h>
#include <AL/alext.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

static const int ROUNDS = 15, PICTURES = 50, SIDE = 256;

// The colour of picture i at (x, y): a gradient of its own, so each file decodes differently.
static uint32_t colour(int i, int x, int y) { return 0xFF000000u | (uint32_t)(i * 5) << 16 | (uint32_t)y << 8 | (uint32_t)x; }

static double median_ms(const std::function<void()> &setup, const std::function<void()> &load)
{
    std::vector<double> ms;
    for (int r = 0; r < ROUNDS; r++) {
        setup();
        auto start = std::chrono::steady_clock::now();
        load();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ROUNDS / 2];
}

static std::string picture_path(int i) { return "pictures/p" + std::to_string(i) + ".png"; }

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s FILE.ogg SECONDS\n", argv[0]);
        return 2;
    }
    host_fixture fx;
    if (!host_fixture_up(&fx, false) || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 1;
    std::string font = read_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    write_file(fx.game_dir + "/font.ttf", font);
    write_file(fx.game_dir + "/fonts/dejavu.ttf", font);
    write_file(fx.game_dir + "/sounds/long.ogg", read_file(argv[1]));
    for (int i = 0; i < PICTURES; i++) {
        std::vector<uint32_t> pixels((size_t)SIDE * SIDE);
        for (int y = 0; y < SIDE; y++)
            for (int x = 0; x < SIDE; x++) pixels[(size_t)y * SIDE + x] = colour(i, x, y);
        size_t size = 0;
        uint8_t *png = encode_png(pixels.data(), SIDE, SIDE, 0, 0, &size);
        write_file(fx.game_dir + "/" + picture_path(i), std::string((const char *)png, size));
        SDL_free(png);
    }
    thread_channel *channel = thread_channel_create();
    render_context *ctx = channel ? render_context_new(channel, 0, 1, SIDE, SIDE, -1, -1, -1, -1) : nullptr;
    if (!ctx) {
        fprintf(stderr, "no render context: %s\n", SDL_GetError());
        return 1;
    }
    draw_init(ctx, fx.game_dir.c_str());

    // Sprites: every picture drawn once, full size, in one frame; unloaded between rounds.
    auto frame = [&](bool unload) {
        threadstream *s = threadstream_allocate();
        frame_write_grid(s, frame_grid{0, SIDE, -1});
        if (unload) {
            for (int i = 0; i < PICTURES; i++)
                frame_write_string_record(s, DRAW_UNLOAD_SPRITE, frame_cstring(picture_path(i).c_str()));
            return s;
        }
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, frame_pass_header{0, 0, 0, 255, {nullptr, 0}, 0, 0, 0});
        std::vector<std::string> paths;
        for (int i = 0; i < PICTURES; i++) paths.push_back(picture_path(i));
        for (const std::string &p : paths)
            frame_write_sprite(s, frame_sprite{frame_cstring(p.c_str()), 0, 0, SIDE, SIDE, 0, 255, 255, 255, 255, 0, 0, -1, -1,
                                               0, 0, -1, -1, 0, 0, 0.5f, 0.5f});
        frame_write_u32(s, DRAW_END_PASS);
        return s;
    };
    threadstream *unload = frame(true), *draw = frame(false);
    double sprites = median_ms([&] { unload->read_position = 0, draw_process_frame(ctx, unload, 0, 0); },
                               [&] { draw->read_position = 0, draw_process_frame(ctx, draw, 0, 0); });
    // The last picture drawn covers the window: its own gradient, bottom rows up.
    uint32_t px[2] = {0, 0};
    SDL_Rect spots[2] = {{10, 20, 1, 1}, {200, 100, 1, 1}};
    for (int k = 0; k < 2; k++) SDL_RenderReadPixels(ctx->renderer, &spots[k], SDL_PIXELFORMAT_ABGR8888, &px[k], 4);
    uint32_t want[2] = {colour(PICTURES - 1, 10, 20), colour(PICTURES - 1, 200, 100)};
    if (px[0] != want[0] || px[1] != want[1]) {
        fprintf(stderr, "sprites drew %08X %08X, not %08X %08X: no figure\n", px[0], px[1], want[0], want[1]);
        return 1;
    }
    double images = median_ms([] {}, [&] {
        for (int i = 0; i < PICTURES; i++) {
            int32_t w = 0, h = 0;
            uint32_t *p = load_image(picture_path(i).c_str(), &w, &h);
            if (!p || w != SIDE || h != SIDE || p[SIDE + 1] != colour(i, 1, 1)) {
                fprintf(stderr, "load_image of %s went wrong: no figure\n", picture_path(i).c_str());
                exit(1);
            }
            free_image(p);
        }
    });

    // The Ogg: decoded afresh on a new device each round (the cache would keep it).
    const ALCint attributes[] = {ALC_FREQUENCY, 44100, ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT, 0};
    double lasts = 0;
    double ogg = median_ms([&] { audio_init_device(alcLoopbackOpenDeviceSOFT(nullptr), attributes); }, [&] {
        audio_source request = {};
        request.kind = AUDIO_SOURCE_FILE;
        request.data.path = "sounds/long.ogg";
        request.gain = request.pitch = 1.0f;
        request.paused = 1;
        audio_source *source = audio_play_source(&request);
        ALint bytes = 0;
        if (source) alGetBufferi(source->cache_entry->buffer, AL_SIZE, &bytes);
        lasts = source ? (double)bytes / (2.0 * source->channels * source->frequency) : 0;
        audio_quit();
    });
    double expected = atof(argv[2]);
    if (fabs(lasts - expected) > expected * 0.1) { // the file's packets repeat: about its length
        fprintf(stderr, "the Ogg decoded to %.2f s, not %.2f s: no figure\n", lasts, expected);
        return 1;
    }

    // The font: opened and its first glyph rasterised.
    int glyph_height = 0;
    double fonts = median_ms([] {}, [&] {
        fontatlas *f = fontatlas_new(ctx->renderer, "fonts/dejavu.ttf");
        const fontatlas_glyph *g = f ? fontatlas_getglyph(f, 'H', 22) : nullptr;
        glyph_height = g ? g->h : 0;
        fontatlas_delete(f);
    });
    if (glyph_height != 14) { // "H" at 22 pixels: 1,493 of 2,384 units
        fprintf(stderr, "DejaVu Sans gave an H %d pixels high, not 14: no figure\n", glyph_height);
        return 1;
    }

    SDL_RendererInfo info;
    SDL_GetRendererInfo(ctx->renderer, &info);
    printf("load times, median of %d cold loads (renderer: %s)\n", ROUNDS, info.name);
    printf("  %d PNGs of %dx%d as sprite textures: %8.2f ms (%.3f ms each)\n", PICTURES, SIDE, SIDE, sprites,
           sprites / PICTURES);
    printf("  %d PNGs of %dx%d through load_image:  %8.2f ms (%.3f ms each)\n", PICTURES, SIDE, SIDE, images,
           images / PICTURES);
    printf("  Ogg Vorbis of %.1f s into a buffer:      %8.2f ms\n", lasts, ogg);
    printf("  DejaVu Sans opened, one glyph made:     %8.2f ms\n", fonts);
    threadstream_free(unload);
    threadstream_free(draw);
    render_context_delete(ctx);
    thread_channel_delete(channel);
    host_fixture_down(&fx);
    return 0;
}
