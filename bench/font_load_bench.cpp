// Prints the time to load a font through the atlas (the whole file read through the virtual
// file system, the checks, stb_truetype's set-up and the metrics), and the checks' own share,
// for DejaVu Sans and the other fonts named on the command line. Before timing, each font must
// draw a glyph with ink in it.
#include "base/files.h"
#include "render/font_check.h"
#include "render/fontatlas.h"
#include "support/host_fixture.h"

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <vector>

static const int RUNS = 400;

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Some pixel of the glyph's bitmap has coverage.
static bool glyph_has_ink(SDL_Renderer *renderer, fontatlas *font, uint32_t codepoint)
{
    const fontatlas_glyph *g = fontatlas_getglyph(font, codepoint, 40);
    if (!g || !g->texture || g->w <= 0 || g->h <= 0) return false;
    SDL_Rect src = {g->x, g->y, g->w, g->h};
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, g->texture, &src, &src);
    std::vector<uint32_t> px((size_t)g->w * g->h);
    SDL_RenderReadPixels(renderer, &src, SDL_PIXELFORMAT_ABGR8888, px.data(), g->w * 4);
    return std::any_of(px.begin(), px.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

static int measure(SDL_Renderer *renderer, const std::string &game_dir, const char *file)
{
    write_file(game_dir + "/bench.ttf", read_file(file));
    fontatlas *probe = fontatlas_new(renderer, "bench.ttf");
    bool drawn = probe && glyph_has_ink(renderer, probe, 'A');
    fontatlas_delete(probe);
    if (!drawn) {
        fprintf(stderr, "%s: does not load or draws nothing\n", file);
        return 1;
    }
    std::vector<double> load, check;
    for (int i = 0; i < RUNS; i++) {
        auto start = std::chrono::steady_clock::now();
        fontatlas *font = fontatlas_new(renderer, "bench.ttf");
        load.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        fontatlas_delete(font);
    }
    size_t length = 0;
    char *data = loadfile("bench.ttf", &length);
    for (int i = 0; i < RUNS; i++) {
        font_tables tables;
        auto start = std::chrono::steady_clock::now();
        int ok = font_check_file((const uint8_t *)data, length, &tables);
        check.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (!ok) return 1;
    }
    SDL_free(data);
    printf("%-40s %8zu bytes  load %7.1f us  checks %5.1f us (%.1f%% of the load)\n", file, length, median(load),
           median(check), 100.0 * median(check) / median(load));
    return 0;
}

int main(int argc, char **argv)
{
    host_fixture fx;
    if (!host_fixture_up(&fx, false)) return 1;
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormat(0, 512, 512, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Renderer *renderer = surface ? SDL_CreateSoftwareRenderer(surface) : nullptr;
    if (!renderer) return 1;
    int failed = measure(renderer, fx.game_dir, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    for (int i = 1; i < argc; i++) failed |= measure(renderer, fx.game_dir, argv[i]);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(surface);
    host_fixture_down(&fx);
    return failed;
}
