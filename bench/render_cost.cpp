// Prints the render thread's cost per sprite, per label character and per solid: frames of
// 10,000 records each carried out by the frame interpreter on a real window's renderer,
// less the cost of the same frame without them, finished on the renderer (a one-pixel read
// back waits for it) but not presented, so vsync does not pace it.
#include "base/channel.h"
#include "render/image.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <chrono>
#include <functional>
#include <stdio.h>
#include <vector>

static const int RECORDS = 10000, FRAMES = 60, W = 1280, H = 720;

static threadstream *frame_of(const std::function<void(threadstream *, int)> &record, int count, int shift)
{
    threadstream *s = threadstream_allocate();
    frame_write_grid(s, frame_grid{0, H, -1});
    frame_write_passes(s, 1, 0);
    frame_write_pass_header(s, frame_pass_header{0, 0, 0, 255, {nullptr, 0}, W, H, 0});
    for (int i = 0; i < count; i++) record(s, i + shift);
    frame_write_u32(s, DRAW_END_PASS);
    return s;
}

// Seconds per frame, the frames moving by one pixel each time.
static double seconds_per_frame(render_context *ctx, const std::function<void(threadstream *, int)> &record, int count)
{
    std::vector<threadstream *> frames;
    for (int f = 0; f < FRAMES; f++) frames.push_back(frame_of(record, count, f));
    uint32_t px;
    SDL_Rect one = {0, 0, 1, 1};
    draw_process_frame(ctx, frames[0], 0, 0); // textures and glyphs made outside the timing
    SDL_RenderReadPixels(ctx->renderer, &one, SDL_PIXELFORMAT_ABGR8888, &px, 4);
    auto start = std::chrono::steady_clock::now();
    for (threadstream *s : frames) {
        s->read_position = 0;
        draw_process_frame(ctx, s, 0, 0);
        SDL_RenderReadPixels(ctx->renderer, &one, SDL_PIXELFORMAT_ABGR8888, &px, 4);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (threadstream *s : frames) threadstream_free(s);
    return seconds / FRAMES;
}

int main()
{
    host_fixture fx;
    if (!host_fixture_up(&fx, false) || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 1;
    write_file(fx.game_dir + "/font.ttf", read_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    // A 32 x 32 sprite picture.
    std::vector<uint32_t> pixels(32 * 32, 0xFF3080F0u);
    size_t size = 0;
    uint8_t *png = encode_png(pixels.data(), 32, 32, 0, 0, &size);
    write_file(fx.game_dir + "/sprite.png", std::string((const char *)png, size));
    SDL_free(png);
    thread_channel *channel = thread_channel_create();
    render_context *ctx = channel ? render_context_new(channel, 0, 0, W, H, -1, -1, -1, -1) : nullptr;
    if (!ctx) {
        fprintf(stderr, "no render context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_RendererInfo info;
    SDL_GetRendererInfo(ctx->renderer, &info);
    double empty = seconds_per_frame(ctx, [](threadstream *, int) {}, 0);
    struct {
        const char *what;
        int per_record; // drawn things per record
        std::function<void(threadstream *, int)> record;
    } kinds[] = {
        {"sprite", 1,
         [](threadstream *s, int i) {
             frame_write_sprite(s, frame_sprite{{"sprite.png", 10}, (float)(i * 7 % (W - 32)), (float)(i * 13 % (H - 32)),
                                                32, 32, 0, 255, 255, 255, 255, 0, 0, -1, -1, 0, 0, -1, -1, 0, 0, 0.5f,
                                                0.5f});
         }},
        {"label character", 10,
         [](threadstream *s, int i) {
             frame_write_label(s, frame_label{(float)(i * 7 % (W - 100)), (float)(i * 13 % (H - 20)) + 20,
                                              {"Score 1234", 10}, {nullptr, 0}, 0, 0, 255, 255, 255, 255});
         }},
        {"solid", 1,
         [](threadstream *s, int i) {
             frame_write_rect(s, DRAW_SOLID, frame_rect{(float)(i * 7 % (W - 32)), (float)(i * 13 % (H - 32)), 32, 32,
                                                        (i * 5) & 255, 128, 64, 255});
         }},
    };
    printf("renderer %s, %d x %d, %d records a frame\n", info.name, W, H, RECORDS);
    for (auto &k : kinds) {
        int count = RECORDS / k.per_record;
        double seconds = seconds_per_frame(ctx, k.record, count) - empty;
        printf("  per %-16s %7.0f ns  (%d in %.1f ms a frame)\n", k.what, seconds * 1e9 / RECORDS, RECORDS, seconds * 1e3);
    }
    render_context_delete(ctx);
    thread_channel_delete(channel);
    host_fixture_down(&fx);
    return 0;
}
