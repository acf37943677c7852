// N moving 32x32 textured quads drawn with SDL's renderer and no Ruby at all: the ceiling
// for the runtime's own renderer on this machine. Prints the frame rate after one second
// of warm-up, or no figure when its first frame does not show the quads' own colour.
// Usage: sprite_limit_bench N [seconds]
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

struct quad {
    float x, y, dx, dy;
};

int main(int argc, char **argv)
{
    const int count = argc > 1 ? atoi(argv[1]) : 1000;
    const double seconds = argc > 2 ? atof(argv[2]) : 2.0;
    const int w = 1280, h = 720, side = 32;
    SDL_SetHint("SDL_RENDER_BATCHING", "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window *window = SDL_CreateWindow("limit", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, 0);
    SDL_Renderer *renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    if (!renderer) {
        fprintf(stderr, "renderer: %s\n", SDL_GetError());
        return 1;
    }
    // The same picture as the benchmark game's sprite: a light body with a darker edge.
    std::vector<Uint32> pixels(side * side);
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            const bool edge = x == 0 || y == 0 || x == side - 1 || y == side - 1;
            pixels[y * side + x] = edge ? 0xff144696u : 0xff2896fau;
        }
    SDL_Texture *texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, side, side);
    SDL_UpdateTexture(texture, nullptr, pixels.data(), side * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);

    std::vector<quad> quads(count);
    for (int i = 0; i < count; i++) {
        quad &q = quads[i];
        q.x = (float)((i * 37) % (w - side));
        q.y = (float)((i * 91) % (h - side));
        q.dx = (float)(i % 7 - 3 ? i % 7 - 3 : 2);
        q.dy = (float)(i % 5 - 2 ? i % 5 - 2 : 1);
    }

    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 start = SDL_GetPerformanceCounter();
    Uint64 measure_from = 0;
    long frames = 0;
    bool looked = false;
    for (;;) {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            if (event.type == SDL_QUIT) return 0;
        for (quad &q : quads) {
            q.x += q.dx;
            q.y += q.dy;
            if (q.x < 0 || q.x > w - side) q.dx = -q.dx;
            if (q.y < 0 || q.y > h - side) q.dy = -q.dy;
        }
        SDL_SetRenderDrawColor(renderer, 20, 24, 32, 255);
        SDL_RenderClear(renderer);
        for (const quad &q : quads) {
            SDL_FRect dst = {q.x, q.y, (float)side, (float)side};
            SDL_RenderCopyF(renderer, texture, nullptr, &dst);
        }
        if (!looked && count > 0) { // the first frame, before it is shown: at least one quad's body
            std::vector<Uint32> frame((size_t)w * h);
            long body = 0;
            if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, frame.data(), w * 4) == 0)
                for (Uint32 px : frame) body += (px & 0xFFFFFFu) == (pixels[side + 1] & 0xFFFFFFu);
            if (body < (side - 2) * (side - 2)) {
                printf("limit sprites %d no-colour: the frame does not show the quads' colour\n", count);
                return 1;
            }
            looked = true;
        }
        SDL_RenderPresent(renderer);
        const Uint64 now = SDL_GetPerformanceCounter();
        if (!measure_from) {
            if (now - start >= frequency) measure_from = now;
            continue;
        }
        frames++;
        const double elapsed = (double)(now - measure_from) / (double)frequency;
        if (elapsed >= seconds) {
            SDL_RendererInfo info;
            SDL_GetRendererInfo(renderer, &info);
            printf("limit sprites %d fps %.1f renderer %s\n", count, frames / elapsed, info.name);
            break;
        }
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
