// The OpenGL renderer is given the part of a sprite near the target as one polygon in double
// precision; the software renderer, pieces whose stretch matches the whole sprite's.
#include "render/sprite_cut.h"

#include <algorithm>
#include <math.h>
#include <string.h>

// Within a margin of two pixels around the target.
static const double cut_margin = 2.0;

// Draws the part of the sprite that lands near bounds as one polygon with the texture
// coordinates of the whole sprite there, all in double precision: what a sprite hundreds of
// thousands of pixels long shows depends on the sixteenth digit of its turn.
static void draw_cut_polygon(SDL_Renderer *renderer, SDL_Texture *texture, const SDL_Rect &src,
                             const sprite_place &s, const SDL_Rect &bounds, SDL_Color tint, int tw, int th)
{
    double radians = s.angle * (M_PI / 180.0), sine = sin(radians), cosine = cos(radians);
    double cx = (double)s.centre_x, cy = (double)s.centre_y;
    struct point {
        double x, y;
    };
    auto turn = [&](int64_t x, int64_t y) {
        double dx = (double)x - cx, dy = (double)y - cy;
        return point{cosine * dx - sine * dy + cx, sine * dx + cosine * dy + cy};
    };
    point polygon[8] = {turn(s.x, s.y), turn(s.x + s.w, s.y), turn(s.x + s.w, s.y + s.h), turn(s.x, s.y + s.h)};
    int count = 4;
    // Cut by each side of the target in turn (Sutherland-Hodgman): a quadrilateral gains at
    // most one corner per side.
    const double edges[4] = {bounds.x - cut_margin, bounds.y - cut_margin, bounds.x + bounds.w + cut_margin,
                             bounds.y + bounds.h + cut_margin};
    for (int side = 0; side < 4 && count >= 3; side++) {
        bool vertical = side & 1, upper = side >= 2;
        point kept[8];
        int n = 0;
        for (int i = 0; i < count; i++) {
            point a = polygon[i], b = polygon[(i + 1) % count];
            double va = vertical ? a.y : a.x, vb = vertical ? b.y : b.x;
            bool a_in = upper ? va <= edges[side] : va >= edges[side];
            bool b_in = upper ? vb <= edges[side] : vb >= edges[side];
            if (a_in) kept[n++] = a;
            if (a_in != b_in) {
                double t = (edges[side] - va) / (vb - va);
                kept[n++] = point{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
            }
        }
        count = n;
        memcpy(polygon, kept, sizeof polygon);
    }
    if (count < 3) return;
    SDL_Vertex vertices[8];
    for (int i = 0; i < count; i++) {
        float x = (float)polygon[i].x, y = (float)polygon[i].y;
        double dx = x - cx, dy = y - cy;
        double across = (cosine * dx + sine * dy + cx - (double)s.x) / (double)s.w;
        double down = (cosine * dy - sine * dx + cy - (double)s.y) / (double)s.h;
        if (s.flip & SDL_FLIP_HORIZONTAL) across = 1.0 - across;
        if (s.flip & SDL_FLIP_VERTICAL) down = 1.0 - down;
        across = std::min(1.0, std::max(0.0, across)), down = std::min(1.0, std::max(0.0, down));
        vertices[i] = SDL_Vertex{{x, y}, tint, {(float)((src.x + across * src.w) / tw), (float)((src.y + down * src.h) / th)}};
    }
    int corners[18], used = 0;
    for (int i = 1; i + 1 < count; i++) corners[used++] = 0, corners[used++] = i, corners[used++] = i + 1;
    SDL_SetTextureColorMod(texture, 255, 255, 255); // the vertices carry the tint
    SDL_SetTextureAlphaMod(texture, 255);
    SDL_RenderGeometry(renderer, texture, vertices, count, corners, used);
}

// The software renderer stretches a sprite's source over its whole rectangle before it turns
// or flips it. Along one axis pixel j shows texel (step / 2 + j * step) >> 16, where step =
// (texels << 16) / pixels; past the stretch's reach (65,535 pixels) texel centres are used.
struct stretch_axis {
    int64_t pixels;
    int32_t texels;
    int64_t step; // 0: past the stretch's reach
};

static stretch_axis make_stretch_axis(int64_t pixels, int32_t texels)
{
    bool reached = pixels <= 65535 && texels < 32768;
    return stretch_axis{pixels, texels, reached ? ((int64_t)texels << 16) / pixels : 0};
}

// The first pixel that shows texel i or a later one.
static int64_t stretch_first_pixel(const stretch_axis &a, int32_t i)
{
    if (i <= 0) return 0;
    if (i >= a.texels) return a.pixels;
    double at = a.step ? ceil((double)((int64_t)i * 65536 - a.step / 2) / (double)a.step)
                       : ceil((double)i * (double)a.pixels / a.texels - 0.5);
    return std::min<int64_t>(a.pixels, std::max<int64_t>(0, (int64_t)at));
}

static int32_t stretch_texel(const stretch_axis &a, int64_t j)
{
    double guess = a.step ? (double)((a.step / 2 + j * a.step) >> 16) : floor(((double)j + 0.5) * a.texels / (double)a.pixels);
    int32_t i = (int32_t)std::min<double>(a.texels - 1, std::max(0.0, guess));
    while (i + 1 < a.texels && stretch_first_pixel(a, i + 1) <= j) i++;
    while (i > 0 && stretch_first_pixel(a, i) > j) i--;
    return i;
}

// Pixels [from, to) of an axis showing `texels` texels from `first` on.
struct stretch_run {
    int64_t from, to;
    int32_t first, texels;
};

// Whether the renderer's stretch of the run's texels over the run alone shows there what its
// stretch of the whole axis shows.
static bool stretch_run_matches(const stretch_axis &a, const stretch_run &r)
{
    stretch_axis piece = make_stretch_axis(r.to - r.from, r.texels);
    if (r.texels == 1) return true;
    if (!piece.step || piece.step / 2 >= 65536 ||
        (piece.step / 2 + (piece.pixels - 1) * piece.step) >> 16 != r.texels - 1)
        return false;
    for (int32_t k = 1; k < r.texels; k++)
        if (stretch_first_pixel(piece, k) != stretch_first_pixel(a, r.first + k) - r.from) return false;
    return true;
}

// Pixels [from, to) as the fewest runs that each draw exactly as the whole does (the longest
// matching run found by halving); their count, or -1 past `room` runs.
static int stretch_runs(const stretch_axis &a, int64_t from, int64_t to, stretch_run *runs, int room)
{
    int count = 0;
    while (from < to) {
        int32_t first = stretch_texel(a, from), most = stretch_texel(a, to - 1) - first + 1;
        auto run_of = [&](int32_t n) {
            return stretch_run{from, std::min(to, stretch_first_pixel(a, first + n)), first, n};
        };
        int32_t good = 1, bad = most + 1;
        if (stretch_run_matches(a, run_of(most))) {
            good = most;
        } else {
            bad = most;
            for (int32_t n = 2; n < bad; n *= 2) {
                if (!stretch_run_matches(a, run_of(n))) bad = n;
                else good = n;
            }
            while (bad - good > 1) {
                int32_t n = good + (bad - good) / 2;
                if (stretch_run_matches(a, run_of(n))) good = n;
                else bad = n;
            }
        }
        if (count == room) return -1;
        runs[count] = run_of(good);
        from = runs[count++].to;
    }
    return count;
}

// One run of whole texels covering pixels [from, to): near what the whole draws, not exact.
static int stretch_whole_run(const stretch_axis &a, int64_t from, int64_t to, stretch_run *run)
{
    int32_t first = stretch_texel(a, from), last = stretch_texel(a, to - 1);
    *run = stretch_run{stretch_first_pixel(a, first), stretch_first_pixel(a, last + 1), first, last - first + 1};
    return 1;
}

// Copies part of a texture to (left, top, w, h) turned about (turn_x, turn_y) from there.
// The software renderer keeps that centre in 16.16 fixed point, so a far one is swapped for
// one near the copy that turns it to the same place: drawn at D (whole pixels) and turned
// about c, a copy lands where one drawn at P and turned about t does when
// D + (I - R) c = P + (I - R) t, R the turn.
static void copy_turned(SDL_Renderer *renderer, SDL_Texture *texture, const SDL_Rect *part, int64_t left, int64_t top,
                        int64_t w, int64_t h, double turn_x, double turn_y, const sprite_place &s)
{
    if (fabs(turn_x) > 16384 || fabs(turn_y) > 16384) {
        double radians = s.angle * (M_PI / 180.0), sine = sin(radians), away = 1.0 - cos(radians);
        double mid_x = (double)w / 2, mid_y = (double)h / 2;
        double to_x = (double)left + away * turn_x + sine * turn_y, to_y = (double)top - sine * turn_x + away * turn_y;
        left = llround(to_x - away * mid_x - sine * mid_y), top = llround(to_y + sine * mid_x - away * mid_y);
        // Solved for c; a turn too slight to reach it within the copy moves it by the nearest
        // whole pixels instead.
        double norm = away * away + sine * sine, rest_x = to_x - (double)left, rest_y = to_y - (double)top;
        turn_x = mid_x, turn_y = mid_y;
        if (norm > 1e-6) {
            turn_x = (away * rest_x - sine * rest_y) / norm;
            turn_y = (sine * rest_x + away * rest_y) / norm;
        }
    }
    SDL_FRect at = {(float)left, (float)top, (float)w, (float)h};
    SDL_FPoint centre = {(float)turn_x, (float)turn_y};
    SDL_RenderCopyExF(renderer, texture, part, &at, s.angle, &centre, (SDL_RendererFlip)s.flip);
}

// A target texture for drawing the texels of a sprite as they are, alpha included.
static SDL_Texture *scratch_texture(SDL_Renderer *renderer, uint32_t format, int64_t w, int64_t h)
{
    SDL_Texture *t = SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_TARGET, (int)w, (int)h);
    if (!t) return nullptr;
    SDL_SetTextureBlendMode(t, SDL_BLENDMODE_NONE);
    SDL_SetRenderTarget(renderer, t);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
    SDL_RenderClear(renderer);
    return t;
}

// The software renderer draws the part of the sprite near bounds from pieces of its
// rectangle, each with the source texels the whole sprite shows there, where a piece's own
// stretch matches the whole's. A few pieces flipped or turned by right angles are copied in
// place. Otherwise the part is stretched unturned into a scratch target, one axis at a time
// (the stretch picks columns and rows apart), and that is copied once: the renderer crops
// each turned piece to the box of its own pixel centres, which would leave holes where
// pieces meet.
// The runs of the sprite's stretch, columns and rows, over the part of it that can reach the
// target, in the stretched source's own order (a flip mirrors it within the rectangle).
struct cut_part {
    static const int most = 256; // runs along an axis
    stretch_run columns[most], rows[most];
    int ncol, nrow;
    bool flip_x, flip_y;
    int64_t from_x, to_x, from_y, to_y; // the part within the sprite's rectangle
};

// The part of the sprite's rectangle whose turned image can reach the target: the target's
// corners turned back, a pixel more on each side. False when there is none.
static bool reachable_part(const SDL_Rect &src, const sprite_place &s, const SDL_Rect &bounds, cut_part *p)
{
    double radians = s.angle * (M_PI / 180.0), sine = sin(radians), cosine = cos(radians);
    double cx = (double)s.centre_x, cy = (double)s.centre_y;
    double low_x = HUGE_VAL, low_y = HUGE_VAL, high_x = -HUGE_VAL, high_y = -HUGE_VAL;
    for (int i = 0; i < 4; i++) {
        double dx = (i & 1 ? bounds.x + bounds.w + cut_margin : bounds.x - cut_margin) - cx;
        double dy = (i & 2 ? bounds.y + bounds.h + cut_margin : bounds.y - cut_margin) - cy;
        double x = cosine * dx + sine * dy + cx - (double)s.x, y = cosine * dy - sine * dx + cy - (double)s.y;
        low_x = std::min(low_x, x), high_x = std::max(high_x, x), low_y = std::min(low_y, y), high_y = std::max(high_y, y);
    }
    auto inside = [](double v, int64_t size) { return (int64_t)std::min<double>((double)size, std::max(0.0, v)); };
    int64_t x0 = inside(floor(low_x) - 1, s.w), x1 = inside(ceil(high_x) + 1, s.w);
    int64_t y0 = inside(floor(low_y) - 1, s.h), y1 = inside(ceil(high_y) + 1, s.h);
    if (x0 >= x1 || y0 >= y1) return false;
    p->flip_x = s.flip & SDL_FLIP_HORIZONTAL, p->flip_y = s.flip & SDL_FLIP_VERTICAL;
    if (p->flip_x) std::swap(x0, x1), x0 = s.w - x0, x1 = s.w - x1;
    if (p->flip_y) std::swap(y0, y1), y0 = s.h - y0, y1 = s.h - y1;
    stretch_axis across = make_stretch_axis(s.w, src.w), down = make_stretch_axis(s.h, src.h);
    p->ncol = stretch_runs(across, x0, x1, p->columns, cut_part::most);
    p->nrow = stretch_runs(down, y0, y1, p->rows, cut_part::most);
    if (p->ncol < 0) p->ncol = stretch_whole_run(across, x0, x1, p->columns);
    if (p->nrow < 0) p->nrow = stretch_whole_run(down, y0, y1, p->rows);
    p->from_x = p->columns[0].from, p->to_x = p->columns[p->ncol - 1].to;
    p->from_y = p->rows[0].from, p->to_y = p->rows[p->nrow - 1].to;
    return true;
}

// Each piece copied in place, turned and flipped as the whole sprite is.
static void copy_pieces(SDL_Renderer *renderer, SDL_Texture *texture, const SDL_Rect &src, const sprite_place &s,
                        const cut_part &p)
{
    double cx = (double)s.centre_x, cy = (double)s.centre_y;
    for (int i = 0; i < p.nrow; i++) {
        for (int j = 0; j < p.ncol; j++) {
            const stretch_run &col = p.columns[j], &row = p.rows[i];
            SDL_Rect part = {src.x + col.first, src.y + row.first, col.texels, row.texels};
            int64_t piece_left = s.x + (p.flip_x ? s.w - col.to : col.from);
            int64_t piece_top = s.y + (p.flip_y ? s.h - row.to : row.from);
            copy_turned(renderer, texture, &part, piece_left, piece_top, col.to - col.from, row.to - row.from,
                        cx - (double)piece_left, cy - (double)piece_top, s);
        }
    }
}

// The part stretched unturned into a scratch target, columns first over every source row it
// shows, then rows column for column, and that copied once, turned. In the format of the
// renderer's own stretched copy, so that it is blended the same way: the texture's for a
// plain copy, 32-bit ARGB for a turned or flipped one.
static void copy_stretched_part(SDL_Renderer *renderer, SDL_Texture *texture, const SDL_Rect &src,
                                const sprite_place &s, const cut_part &p, bool plain)
{
    // Where the stretched part lies in the target.
    int64_t left = s.x + (p.flip_x ? s.w - p.to_x : p.from_x), top = s.y + (p.flip_y ? s.h - p.to_y : p.from_y);
    double cx = (double)s.centre_x, cy = (double)s.centre_y;
    SDL_Texture *target = SDL_GetRenderTarget(renderer);
    uint8_t r = 255, g = 255, b = 255, a = 255;
    SDL_BlendMode blend = SDL_BLENDMODE_BLEND;
    SDL_GetTextureColorMod(texture, &r, &g, &b);
    SDL_GetTextureAlphaMod(texture, &a);
    SDL_GetTextureBlendMode(texture, &blend);
    SDL_SetTextureColorMod(texture, 255, 255, 255);
    SDL_SetTextureAlphaMod(texture, 255);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    int32_t first_row = p.rows[0].first, source_rows = p.rows[p.nrow - 1].first + p.rows[p.nrow - 1].texels - first_row;
    int64_t w = p.to_x - p.from_x, h = p.to_y - p.from_y;
    uint32_t format = SDL_PIXELFORMAT_ARGB8888;
    if (plain) SDL_QueryTexture(texture, &format, nullptr, nullptr, nullptr);
    SDL_Texture *wide = scratch_texture(renderer, format, w, source_rows);
    SDL_Texture *part = wide ? scratch_texture(renderer, format, w, h) : nullptr;
    if (part) {
        SDL_SetRenderTarget(renderer, wide);
        for (int j = 0; j < p.ncol; j++) {
            SDL_Rect from = {src.x + p.columns[j].first, src.y + first_row, p.columns[j].texels, source_rows};
            SDL_Rect to = {(int)(p.columns[j].from - p.from_x), 0, (int)(p.columns[j].to - p.columns[j].from), source_rows};
            SDL_RenderCopy(renderer, texture, &from, &to);
        }
        SDL_SetRenderTarget(renderer, part);
        for (int i = 0; i < p.nrow; i++) {
            SDL_Rect from = {0, p.rows[i].first - first_row, (int)w, p.rows[i].texels};
            SDL_Rect to = {0, (int)(p.rows[i].from - p.from_y), (int)w, (int)(p.rows[i].to - p.rows[i].from)};
            SDL_RenderCopy(renderer, wide, &from, &to);
        }
    }
    SDL_SetRenderTarget(renderer, target);
    SDL_SetTextureColorMod(texture, r, g, b);
    SDL_SetTextureAlphaMod(texture, a);
    SDL_SetTextureBlendMode(texture, blend);
    if (part) {
        SDL_SetTextureColorMod(part, r, g, b);
        SDL_SetTextureAlphaMod(part, a);
        SDL_SetTextureBlendMode(part, blend);
        copy_turned(renderer, part, nullptr, left, top, w, h, cx - (double)left, cy - (double)top, s);
    } else { // no room for the scratch targets: the whole part as one piece
        SDL_Rect whole = {src.x + p.columns[0].first, src.y + first_row,
                          p.columns[p.ncol - 1].first + p.columns[p.ncol - 1].texels - p.columns[0].first, source_rows};
        copy_turned(renderer, texture, &whole, left, top, w, h, cx - (double)left, cy - (double)top, s);
    }
    if (part) SDL_DestroyTexture(part);
    if (wide) SDL_DestroyTexture(wide);
}

static void draw_cut_pieces(SDL_Renderer *renderer, SDL_Texture *texture, const SDL_Rect &src, const sprite_place &s,
                            const SDL_Rect &bounds)
{
    cut_part p;
    if (!reachable_part(src, s, bounds, &p)) return;
    // Copied in place, a piece drawn whole inside the target would be blended by the scaled
    // copy, which rounds differently from the renderer's own unscaled one.
    double quarters = s.angle / 90.0;
    bool plain = s.flip == 0 && quarters / 4 == floor(quarters / 4);
    if (!plain && quarters == floor(quarters) && p.ncol * p.nrow <= 64) copy_pieces(renderer, texture, src, s, p);
    else copy_stretched_part(renderer, texture, src, s, p, plain);
}

bool sprite_needs_cut(SDL_Renderer *renderer, const sprite_place &s, bool turned, const SDL_Rect &bounds)
{
    const double reach_limit = 16.0 * SPRITE_CLIP_SIDE;
    int64_t limit = std::min<int64_t>(SPRITE_CLIP_SIDE, std::max<int64_t>(2048, 4 * (int64_t)std::max(bounds.w, bounds.h)));
    double radius = fabs((double)(s.centre_x - s.x)) + fabs((double)(s.centre_y - s.y)) + (double)s.w + (double)s.h;
    if (s.w <= limit && s.h <= limit && (!turned || radius <= reach_limit)) return false;
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE)) return true;
    double reach = std::max(std::max(fabs((double)s.x), fabs((double)(s.x + s.w))),
                            std::max(fabs((double)s.y), fabs((double)(s.y + s.h))));
    if (turned) reach = std::max(reach, std::max(fabs((double)s.centre_x), fabs((double)s.centre_y)) + radius);
    return reach > reach_limit;
}

void draw_sprite_cut(SDL_Renderer *renderer, SDL_Texture *texture, const SDL_Rect &src, const sprite_place &s,
                     const SDL_Rect &bounds, SDL_Color tint, int tw, int th)
{
    // The renderer takes the part of the source inside the texture over the whole rectangle.
    SDL_Rect whole = {0, 0, tw, th}, shown;
    if (!SDL_IntersectRect(&src, &whole, &shown)) return;
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE))
        draw_cut_pieces(renderer, texture, shown, s, bounds);
    else
        draw_cut_polygon(renderer, texture, shown, s, bounds, tint, tw, th);
}

void sprite_trim_to_target(SDL_Renderer *renderer, SDL_Rect *src, SDL_Rect *at, const SDL_Rect &visible, int tw, int th)
{
    if (visible.w == at->w && visible.h == at->h) return;
    SDL_Rect texels = {0, 0, tw, th}, shown;
    if (!SDL_IntersectRect(src, &texels, &shown) || shown.w != at->w || shown.h != at->h) return;
    float sx = 0, sy = 0;
    SDL_RenderGetScale(renderer, &sx, &sy);
    if (sx != 1.0f || sy != 1.0f) return;
    *src = SDL_Rect{shown.x + visible.x - at->x, shown.y + visible.y - at->y, visible.w, visible.h};
    *at = visible;
}
