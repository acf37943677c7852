// The frame interpreter: carries out one frame stream against the renderer. Passes go to
// the window, to named render targets or to the main canvas (screenshot frames); the five
// primitives are drawn through the grid transform; one-off commands are applied once.
//
// Catch-up frames (older queued frames) keep render targets up to date without drawing to
// the window; a re-run (no new frame) draws every pass again but repeats no one-off command.
#include "render/render.h"
#include "base/files.h"
#include "base/utf8.h"
#include "render/fontatlas.h"
#include "render/image.h"
#include "render/sprite_cut.h"

#include <algorithm>
#include <math.h>
#include <string.h>

struct frame_run {
    render_context *ctx;
    threadstream *s;
    int catch_up, rerun;
    SDL_Texture *target;    // current render target; null: the window
    int32_t window_grid_y;  // the game's grid while passes draw into render targets
    SDL_Rect bounds;        // the current target's area
    // The texture of the last sprite drawn in this pass: runs of one picture skip the look-up.
    frame_string last_path;
    SDL_Texture *last_texture;
    int last_w, last_h;
};

// float to int toward zero, saturating; NaN gives 0 (a C cast would be undefined).
static int32_t trunc_i32(double v)
{
    if (isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return (int32_t)v;
}

static uint8_t clamp_u8(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : (uint8_t)v; }

// Whole-pixel rectangles and points before they are cut to the target: in 64 bits, since a
// game's coordinates (or a grid scale) can put them far past what SDL's int sums hold.
struct wide_rect {
    int64_t x, y, w, h;
};

struct wide_point {
    int64_t x, y;
};

// Toward zero, saturating far beyond any target; NaN gives 0.
static int64_t trunc_i64(float v)
{
    if (isnan(v)) return 0;
    if (v >= 4.0e15f) return (int64_t)4e15;
    if (v <= -4.0e15f) return -(int64_t)4e15;
    return (int64_t)v;
}

// r inside bounds; false when nothing of it is inside.
static bool clip_rect(const wide_rect &r, const SDL_Rect &bounds, SDL_Rect *out)
{
    int64_t x0 = std::max<int64_t>(r.x, bounds.x), y0 = std::max<int64_t>(r.y, bounds.y);
    int64_t x1 = std::min<int64_t>(r.x + r.w, (int64_t)bounds.x + bounds.w);
    int64_t y1 = std::min<int64_t>(r.y + r.h, (int64_t)bounds.y + bounds.h);
    if (x1 <= x0 || y1 <= y0) return false;
    *out = SDL_Rect{(int)x0, (int)y0, (int)(x1 - x0), (int)(y1 - y0)};
    return true;
}

// For rectangles already known to lie near the target.
static SDL_Rect narrow(const wide_rect &r) { return SDL_Rect{(int)r.x, (int)r.y, (int)r.w, (int)r.h}; }

// The grid transform of a rectangle (single precision), negative sizes folded, each value
// truncated to whole pixels.
static wide_rect grid_rect(const render_context *ctx, float x, float y, float w, float h)
{
    if (!ctx->grid_set) return wide_rect{0, 0, 0, 0};
    float scale = (float)ctx->grid_scale;
    float xs = x + (float)ctx->grid_x, ys = y * scale + (float)ctx->grid_y, ws = w, hs = h * scale;
    if (ws < 0) xs += ws, ws = -ws;
    if (hs < 0) ys += hs, hs = -hs;
    return wide_rect{trunc_i64(xs), trunc_i64(ys), trunc_i64(ws), trunc_i64(hs)};
}

static wide_point grid_point(const render_context *ctx, float x, float y)
{
    if (!ctx->grid_set) return wide_point{0, 0};
    return wide_point{trunc_i64(x + (float)ctx->grid_x), trunc_i64(y * (float)ctx->grid_scale + (float)ctx->grid_y)};
}

// A line reaching far outside the target is cut to it first: the renderer would otherwise
// walk every one of its (up to billions of) points. Liang-Barsky in doubles.
static bool clip_line(const SDL_Rect &bounds, wide_point a, wide_point b, SDL_Point *from, SDL_Point *to)
{
    auto near = [](int64_t v) { return v > -4 * SPRITE_CLIP_SIDE && v < 4 * SPRITE_CLIP_SIDE; };
    if (near(a.x) && near(a.y) && near(b.x) && near(b.y)) {
        *from = SDL_Point{(int)a.x, (int)a.y}, *to = SDL_Point{(int)b.x, (int)b.y};
        return true;
    }
    double x0 = (double)a.x, y0 = (double)a.y, dx = (double)(b.x - a.x), dy = (double)(b.y - a.y), t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - bounds.x, bounds.x + bounds.w - 1 - x0, y0 - bounds.y, bounds.y + bounds.h - 1 - y0};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0) t0 = t > t0 ? t : t0;
        else t1 = t < t1 ? t : t1;
    }
    if (t0 > t1) return false;
    *from = SDL_Point{(int)lround(x0 + t0 * dx), (int)lround(y0 + t0 * dy)};
    *to = SDL_Point{(int)lround(x0 + t1 * dx), (int)lround(y0 + t1 * dy)};
    return true;
}

static void draw_rect(render_context *ctx, uint32_t code, const frame_rect &r, const SDL_Rect &bounds)
{
    SDL_SetRenderDrawColor(ctx->renderer, clamp_u8(r.r), clamp_u8(r.g), clamp_u8(r.b), clamp_u8(r.a));
    if (code == DRAW_LINE) {
        SDL_Point a, b;
        if (clip_line(bounds, grid_point(ctx, r.x, r.y), grid_point(ctx, r.w, r.h), &a, &b))
            SDL_RenderDrawLine(ctx->renderer, a.x, a.y, b.x, b.y);
        return;
    }
    wide_rect rect = grid_rect(ctx, r.x, r.y, r.w, r.h);
    if (rect.w <= 0 || rect.h <= 0) return;
    SDL_Rect visible;
    if (code == DRAW_SOLID) {
        if (clip_rect(rect, bounds, &visible)) SDL_RenderFillRect(ctx->renderer, &visible);
        return;
    }
    // The outline as four filled strips: the pixels of its lines, each once, at any size.
    wide_rect edges[4] = {{rect.x, rect.y, rect.w, 1},
                          {rect.x, rect.y + rect.h - 1, rect.w, 1},
                          {rect.x, rect.y + 1, 1, rect.h - 2},
                          {rect.x + rect.w - 1, rect.y + 1, 1, rect.h - 2}};
    int count = rect.h == 1 ? 1 : rect.w == 1 ? 3 : 4; // thin outlines draw no strip twice
    SDL_Rect strips[4];
    int shown = 0;
    for (int i = 0; i < count; i++)
        if (clip_rect(edges[i], bounds, &strips[shown])) shown++;
    if (shown) SDL_RenderFillRects(ctx->renderer, strips, shown);
}

// Marks a texture whose every pixel is opaque: drawn at full alpha it lands exactly as
// blending would put it, and a software rasterizer skips reading the target for it.
static char opaque_texture_mark;

// A static ABGR8888 texture of width x height holding the pixels; null on failure.
static SDL_Texture *upload_texture(SDL_Renderer *renderer, const void *pixels, int32_t width, int32_t height)
{
    SDL_Texture *texture = render_texture_create(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, width, height);
    if (!texture) return nullptr;
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    if (SDL_UpdateTexture(texture, nullptr, pixels, width * 4) != 0) {
        SDL_DestroyTexture(texture);
        return nullptr;
    }
    const uint8_t *bytes = (const uint8_t *)pixels;
    size_t count = (size_t)width * (size_t)height, i = 0;
    while (i < count && bytes[i * 4 + 3] == 255) i++;
    if (i == count) SDL_SetTextureUserData(texture, &opaque_texture_mark);
    return texture;
}

// Blending only where something shows through: an opaque picture at full alpha is copied.
static void set_sprite_blend(SDL_Texture *texture, uint8_t alpha)
{
    bool opaque = alpha == 255 && SDL_GetTextureUserData(texture) == &opaque_texture_mark;
    SDL_SetTextureBlendMode(texture, opaque ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
}

// The largest texture this renderer makes, and never more than pictures may be anywhere.
static void max_texture_size(SDL_Renderer *renderer, int32_t *width, int32_t *height)
{
    SDL_RendererInfo info;
    bool known = SDL_GetRendererInfo(renderer, &info) == 0;
    *width = known && info.max_texture_width > 0 ? SDL_min(info.max_texture_width, FRAME_MAX_TEXTURE_SIDE) : FRAME_MAX_TEXTURE_SIDE;
    *height = known && info.max_texture_height > 0 ? SDL_min(info.max_texture_height, FRAME_MAX_TEXTURE_SIDE) : FRAME_MAX_TEXTURE_SIDE;
}

// The named texture: cached, a render target or pixel array of that name, or the file
// loaded now. A name that gives nothing shows the missing texture and is tried again later,
// once its file has changed (or appeared).
static SDL_Texture *sprite_texture(render_context *ctx, const char *path)
{
    texture_cache_entry *entry = path ? texture_cache_lookup(ctx, path) : nullptr;
    if (!entry) return ctx->missing_texture;
    if (entry->texture) return entry->texture;
    if (file_failures_unchanged(ctx->image_failures, path, ctx->frames_processed)) return ctx->missing_texture;
    int32_t max_w, max_h;
    max_texture_size(ctx->renderer, &max_w, &max_h);
    image_load image = load_image_within(path, max_w, max_h);
    if (image.pixels) {
        entry->texture = upload_texture(ctx->renderer, image.pixels, image.width, image.height);
        free_image(image.pixels);
    }
    if (entry->texture) {
        file_failures_forget(ctx->image_failures, path);
        return entry->texture;
    }
    if (image.refusal == IMAGE_LARGER_THAN_ALLOWED)
        SDL_Log("Image \"%s\" is %d x %d pixels, larger than the largest texture (%d x %d): it is not loaded.", path,
                image.width, image.height, max_w, max_h);
    else if (image.refusal == IMAGE_TOO_LARGE_TO_DECODE)
        SDL_Log("Image \"%s\" is %d x %d pixels of 16-bit channels, too large to decode: it is not loaded.", path,
                image.width, image.height);
    file_failures_record(ctx->image_failures, path, ctx->frames_processed);
    return ctx->missing_texture;
}

static void draw_sprite(frame_run *run, const frame_sprite &p)
{
    render_context *ctx = run->ctx;
    const SDL_Rect &bounds = run->bounds;
    SDL_Texture *texture;
    int tw = 0, th = 0;
    if (run->last_texture && p.path.text && p.path.length == run->last_path.length &&
        memcmp(p.path.text, run->last_path.text, p.path.length) == 0) {
        texture = run->last_texture, tw = run->last_w, th = run->last_h;
    } else {
        texture = sprite_texture(ctx, files_path_of(p.path.text, p.path.length));
        if (SDL_QueryTexture(texture, nullptr, nullptr, &tw, &th) != 0 || tw == 0 || th == 0) return;
        // The missing texture is not remembered: the file is tried again at its next draw.
        bool found = texture != ctx->missing_texture;
        run->last_path = p.path, run->last_texture = found ? texture : nullptr, run->last_w = tw, run->last_h = th;
    }
    wide_rect dst = grid_rect(ctx, p.x, p.y, p.w, p.h);
    float sx, sy, sw, sh;
    if (p.tile_x != 0.0f || p.tile_y != 0.0f || p.tile_w != -1.0f || p.tile_h != -1.0f) {
        sx = p.tile_x, sy = p.tile_y, sw = p.tile_w, sh = p.tile_h;
    } else { // source y counts from the texture's bottom
        sw = p.source_w;
        sh = p.source_h < 0 ? (float)th : p.source_h;
        sx = p.source_x;
        sy = (float)th - p.source_y - sh;
    }
    SDL_Rect src = {trunc_i32(sx), trunc_i32(sy), sw < 0 ? tw : trunc_i32(sw), sh < 0 ? th : trunc_i32(sh)};
    if (src.x >= tw || src.y >= th || src.w == 0 || src.h == 0 || dst.w == 0 || dst.h == 0) return;
    SDL_SetTextureColorMod(texture, clamp_u8(p.r), clamp_u8(p.g), clamp_u8(p.b));
    SDL_SetTextureAlphaMod(texture, clamp_u8(p.a));
    SDL_Color tint = {clamp_u8(p.r), clamp_u8(p.g), clamp_u8(p.b), clamp_u8(p.a)};
    int flip = (p.flip_horizontally ? SDL_FLIP_HORIZONTAL : 0) | (p.flip_vertically ? SDL_FLIP_VERTICAL : 0);
    // An infinite or undefined angle (a division by zero in the game) draws the sprite
    // unturned: the renderers would turn it into nothing, or crash.
    double angle = isfinite(p.angle) ? 360.0 - (double)p.angle : 360.0;
    // Turned as the renderer turns it: about (trunc(anchor x w), trunc((1 - anchor y) x h)).
    sprite_place place = {dst.x, dst.y, dst.w, dst.h,
                          dst.x + trunc_i64(p.angle_anchor_x * (float)dst.w),
                          dst.y + trunc_i64((1.0f - p.angle_anchor_y) * (float)dst.h), angle, flip};
    if (flip == 0 && fmod(angle, 360.0) == 0.0) { // the common case skips rotation
        SDL_Rect visible;
        if (!clip_rect(dst, bounds, &visible)) return; // nothing of it shows
        set_sprite_blend(texture, clamp_u8(p.a));
        if (sprite_needs_cut(ctx->renderer, place, false, bounds)) {
            draw_sprite_cut(ctx->renderer, texture, src, place, bounds, tint, tw, th);
        } else {
            SDL_Rect at = narrow(dst);
            sprite_trim_to_target(ctx->renderer, &src, &at, visible, tw, th);
            SDL_RenderCopy(ctx->renderer, texture, &src, &at);
        }
        return;
    }
    // However it turns about its centre the sprite stays within this distance of it: skip it
    // when that square misses the target.
    double px = (double)place.centre_x, py = (double)place.centre_y;
    double radius = fabs(px - (double)dst.x) + fabs(py - (double)dst.y) + (double)dst.w + (double)dst.h;
    if (px + radius < bounds.x || py + radius < bounds.y || px - radius > (double)bounds.x + bounds.w ||
        py - radius > (double)bounds.y + bounds.h)
        return;
    // Turned or flipped, a software renderer copies through a bounding box of its own.
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    if (sprite_needs_cut(ctx->renderer, place, true, bounds)) {
        draw_sprite_cut(ctx->renderer, texture, src, place, bounds, tint, tw, th);
        return;
    }
    SDL_Rect at = narrow(dst);
    SDL_Point centre = {(int)(place.centre_x - dst.x), (int)(place.centre_y - dst.y)};
    SDL_RenderCopyEx(ctx->renderer, texture, &src, &at, angle, &centre, (SDL_RendererFlip)flip);
}

static void draw_label(frame_run *run, const frame_label &l)
{
    render_context *ctx = run->ctx;
    render_font_lock(ctx);
    fontatlas *font = lookup_font(ctx, files_path_of(l.font.text, l.font.length));
    float pen_x = 0.0f, top = 0.0f;
    if (ctx->grid_set) {
        pen_x = l.x + (float)ctx->grid_x;
        top = l.y * (float)ctx->grid_scale + (float)ctx->grid_y;
    }
    uint32_t px = fontatlas_label_pixel_size(l.size_enum);
    float scale = fontatlas_get_scale(font, px);
    // Device resolution only for the window: a render target keeps its own size and place.
    bool dense = run->target == nullptr && (ctx->output_width != ctx->logical_width ||
                                            ctx->output_height != ctx->logical_height);
    if (l.alignment_enum == 1 || l.alignment_enum == 2) {
        float width = 0.0f;
        const char *text = l.text.text;
        for (uint32_t c = utf8codepoint(&text), next; c != 0; c = next) {
            next = utf8codepoint(&text);
            const fontatlas_glyph *g = fontatlas_getglyph(font, c, px);
            if (!g) continue;
            width += g->advance + fontatlas_get_kerningadvance(font, c, next, scale);
        }
        pen_x -= l.alignment_enum == 2 ? width : width / 2.0f;
    }
    float baseline = top + fontatlas_get_ascent(font, scale);
    uint32_t glyph_px = px;
    SDL_Rect viewport, glyph_bounds = run->bounds;
    if (dense) {
        float sx, sy;
        SDL_RenderGetScale(ctx->renderer, &sx, &sy);
        SDL_RenderGetViewport(ctx->renderer, &viewport);
        glyph_px = (uint32_t)trunc_i32(sy * (float)px);
        pen_x = pen_x * sx + (float)viewport.x * sx;
        baseline = baseline * sy + (float)viewport.y * sy;
        SDL_RenderSetLogicalSize(ctx->renderer, 0, 0);
        SDL_Rect clip = {trunc_i32((float)viewport.x * sx), trunc_i32((float)viewport.y * sy),
                         trunc_i32((float)viewport.w * sx), trunc_i32((float)viewport.h * sy)};
        SDL_RenderSetClipRect(ctx->renderer, &clip);
        glyph_bounds = clip;
    }
    uint8_t r = clamp_u8(l.r), g = clamp_u8(l.g), b = clamp_u8(l.b), a = clamp_u8(l.a);
    const char *text = l.text.text;
    SDL_Texture *tinted = nullptr;
    for (uint32_t c = utf8codepoint(&text), next; c != 0; c = next) {
        next = utf8codepoint(&text);
        const fontatlas_glyph *glyph = fontatlas_getglyph(font, c, glyph_px);
        if (!glyph) continue;
        if (glyph->texture && glyph->w > 0 && glyph->h > 0) {
            if (glyph->texture != tinted) { // one page per label, as a rule: tint it once
                SDL_SetTextureColorMod(glyph->texture, r, g, b);
                SDL_SetTextureAlphaMod(glyph->texture, a);
                tinted = glyph->texture;
            }
            SDL_Rect src = {glyph->x, glyph->y, glyph->w, glyph->h};
            wide_rect at = {trunc_i64(pen_x + glyph->x0), trunc_i64(baseline + glyph->y0), glyph->w, glyph->h};
            SDL_Rect seen, dst = narrow(at);
            if (clip_rect(at, glyph_bounds, &seen)) {
                sprite_trim_to_target(ctx->renderer, &src, &dst, seen, FONTATLAS_PAGE_SIZE, FONTATLAS_PAGE_SIZE);
                SDL_RenderCopy(ctx->renderer, glyph->texture, &src, &dst);
            }
        }
        pen_x += glyph->advance + fontatlas_get_kerningadvance(font, c, next, scale);
    }
    if (dense) {
        SDL_RenderSetClipRect(ctx->renderer, nullptr);
        SDL_RenderSetLogicalSize(ctx->renderer, ctx->logical_width, ctx->logical_height);
    }
    render_font_unlock(ctx);
}

// Reads one primitive record and draws it unless the pass is skipped.
static void run_primitive(frame_run *run, uint32_t code, bool skip)
{
    threadstream *s = run->s;
    switch (code) {
    case DRAW_SOLID:
    case DRAW_BORDER:
    case DRAW_LINE: {
        frame_rect r;
        frame_read_rect(s, &r);
        if (!skip && !s->error) draw_rect(run->ctx, code, r, run->bounds);
        break;
    }
    case DRAW_SPRITE: {
        frame_sprite p;
        frame_read_sprite(s, &p);
        if (!skip && !s->error) draw_sprite(run, p);
        break;
    }
    case DRAW_LABEL: {
        frame_label l;
        frame_read_label(s, &l);
        if (!skip && !s->error) draw_label(run, l);
        break;
    }
    default: break; // a bare code inside a pass: nothing after it is read
    }
}

static void set_target(frame_run *run, SDL_Texture *target, int32_t pass_height)
{
    render_context *ctx = run->ctx;
    if (target == run->target) return;
    if (run->target == nullptr) run->window_grid_y = ctx->grid_y;
    SDL_SetRenderTarget(ctx->renderer, target);
    run->target = target;
    run->bounds = SDL_Rect{0, 0, ctx->logical_width, ctx->logical_height};
    if (target) SDL_QueryTexture(target, nullptr, nullptr, &run->bounds.w, &run->bounds.h);
    if (ctx->grid_scale < 0) {
        // A render target's y axis runs up from its own bottom; the window (and the canvas
        // standing in for it) keeps the grid the game set, a centre origin included.
        if (target == nullptr || target == ctx->main_canvas) ctx->grid_y = run->window_grid_y;
        else ctx->grid_y = pass_height;
    }
}

// A render target texture of the name at width x height: reused when it already is one,
// made anew otherwise; null when it cannot be had.
static SDL_Texture *render_target(render_context *ctx, const char *name, int32_t width, int32_t height)
{
    if (width < 1 || height < 1 || frame_picture_bytes(width, height) < 0) return nullptr;
    texture_cache_entry *entry = texture_cache_lookup(ctx, name);
    if (!entry) return nullptr;
    if (entry->texture) {
        int access = 0, w = 0, h = 0;
        if (SDL_QueryTexture(entry->texture, nullptr, &access, &w, &h) != 0) return nullptr;
        if (access == SDL_TEXTUREACCESS_TARGET && w == width && h == height) return entry->texture;
        SDL_DestroyTexture(entry->texture);
        entry->texture = nullptr;
    }
    entry->texture = render_texture_create(ctx->renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET, width, height);
    if (entry->texture) SDL_SetTextureBlendMode(entry->texture, SDL_BLENDMODE_BLEND);
    return entry->texture;
}

// Answers false when the stream ended inside a pass (the frame ends there).
static bool run_passes(frame_run *run)
{
    render_context *ctx = run->ctx;
    threadstream *s = run->s;
    int32_t count = (int32_t)frame_read_u32(s);
    bool screenshot = frame_read_u32(s) != 0;
    if (s->error || count < 1) return !s->error;
    bool ended = false;
    for (int32_t i = 0; i < count && !ended; i++) {
        size_t header_at = s->read_position;
        frame_pass_header h;
        frame_read_pass_header(s, &h);
        if (s->error) {
            ended = true;
            break;
        }
        bool canvas = screenshot && i == count - 1;
        run->last_texture = nullptr; // targets may be made anew below
        bool skip = false;
        SDL_Texture *target = nullptr;
        if (canvas && !ctx->main_canvas) {
            ctx->main_canvas = render_texture_create(ctx->renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET,
                                                     ctx->logical_width, ctx->logical_height);
            if (ctx->main_canvas) SDL_SetTextureBlendMode(ctx->main_canvas, SDL_BLENDMODE_BLEND);
            else canvas = screenshot = false; // drawn once, as an ordinary pass
        }
        if (canvas) {
            target = ctx->main_canvas;
        } else if (h.target.text) {
            target = render_target(ctx, h.target.text, h.width, h.height);
            skip = target == nullptr;
        }
        if (run->catch_up && (h.render_transient || (target == nullptr && !screenshot))) skip = true;
        set_target(run, target, h.height);
        if (!skip) {
            if (target == nullptr) {
                ctx->clear_pending = 0;
                ctx->background_r = (uint8_t)h.r, ctx->background_g = (uint8_t)h.g, ctx->background_b = (uint8_t)h.b;
            }
            SDL_SetRenderDrawColor(ctx->renderer, (uint8_t)h.r, (uint8_t)h.g, (uint8_t)h.b, (uint8_t)h.a);
            SDL_RenderClear(ctx->renderer);
        }
        for (;;) {
            if (threadstream_eos(s)) { // the stream ended inside the pass
                ended = true;
                break;
            }
            uint32_t code = frame_read_u32(s);
            if (code == DRAW_END_PASS) break;
            if (code >= DRAW_SOLID && code <= DRAW_BORDER) run_primitive(run, code, skip);
        }
        if (!ended && canvas) { // the same pass again, to its own target
            screenshot = false;
            s->read_position = header_at;
            i--;
        }
    }
    set_target(run, nullptr, ctx->logical_height);
    return !ended;
}

static void take_screenshot(render_context *ctx, const frame_screenshot &c)
{
    if (!ctx->main_canvas || !files_path_of(c.path.text, c.path.length) || !c.path.text[0]) return;
    wide_rect region = grid_rect(ctx, c.x, c.y, c.w, c.h);
    // Whole pixels inside the canvas; the byte count cannot outgrow the canvas.
    SDL_Rect canvas = {0, 0, ctx->logical_width, ctx->logical_height};
    SDL_Rect clipped;
    if (!clip_rect(region, canvas, &clipped)) return;
    int64_t bytes = frame_picture_bytes(clipped.w, clipped.h);
    if (bytes <= 0) return;
    uint32_t *pixels = (uint32_t *)SDL_calloc(1, (size_t)bytes);
    if (!pixels) return;
    SDL_SetRenderTarget(ctx->renderer, ctx->main_canvas);
    int read = SDL_RenderReadPixels(ctx->renderer, &clipped, SDL_PIXELFORMAT_ABGR8888, pixels, clipped.w * 4);
    SDL_SetRenderTarget(ctx->renderer, nullptr);
    if (read == 0) {
        // Writers default the key to all zeros: only a key the game gave applies.
        if (c.r || c.g || c.b || c.a || c.tolerance) {
            int32_t kr = clamp_u8(c.r), kg = clamp_u8(c.g), kb = clamp_u8(c.b);
            uint32_t alpha = (uint32_t)clamp_u8(c.a) << 24;
            int64_t t = c.tolerance;
            for (int64_t i = 0; i < (int64_t)clipped.w * clipped.h; i++) {
                uint32_t p = pixels[i];
                int32_t pr = p & 0xFF, pg = (p >> 8) & 0xFF, pb = (p >> 16) & 0xFF;
                if (pr >= kr - t && pr <= kr + t && pg >= kg - t && pg <= kg + t && pb >= kb - t && pb <= kb + t)
                    pixels[i] = (p & 0x00FFFFFFu) | alpha;
            }
        }
        size_t size = 0;
        uint8_t *png = encode_png(pixels, clipped.w, clipped.h, 0, 0, &size);
        if (png) {
            storefile_write_override(ctx->screenshot_dir, c.path.text, png, size);
            SDL_free(png);
        }
    }
    SDL_free(pixels);
}

static void upload_pixels(render_context *ctx, const frame_upload &u)
{
    if (!u.name.text || !u.name.text[0] || !u.pixels.text || u.width < 1 || u.height < 1) return;
    int64_t bytes = frame_picture_bytes(u.width, u.height);
    if (bytes < 0 || (uint64_t)bytes != u.pixels.length) return;
    texture_cache_entry *entry = texture_cache_lookup(ctx, u.name.text);
    if (!entry) return;
    if (entry->texture) {
        int w = 0, h = 0;
        if (SDL_QueryTexture(entry->texture, nullptr, nullptr, &w, &h) != 0) return;
        if (w == u.width && h == u.height) {
            SDL_UpdateTexture(entry->texture, nullptr, u.pixels.text, u.width * 4);
            return;
        }
        SDL_DestroyTexture(entry->texture);
        entry->texture = nullptr;
    }
    entry->texture = upload_texture(ctx->renderer, u.pixels.text, u.width, u.height);
}

void draw_process_frame(render_context *ctx, threadstream *s, int catch_up, int rerun)
{
    if (!ctx || threadstream_eos(s)) return;
    ctx->frames_processed++;

    frame_run run = {ctx, s, catch_up, rerun, nullptr, ctx->grid_y, {0, 0, ctx->logical_width, ctx->logical_height},
                     {nullptr, 0}, nullptr, 0, 0};
    bool once = !rerun; // one-off commands are not repeated by a re-run
    while (!threadstream_eos(s)) {
        uint32_t code = frame_read_u32(s);
        switch (code) {
        case DRAW_NOP: break;
        case DRAW_SCREENSHOT: {
            frame_screenshot c;
            frame_read_screenshot(s, &c);
            if (once && !s->error) take_screenshot(ctx, c);
            break;
        }
        case DRAW_SET_GRID: {
            frame_grid g;
            frame_read_grid(s, &g);
            if (once && !s->error) {
                ctx->grid_x = trunc_i32(g.x);
                ctx->grid_y = trunc_i32(g.y);
                ctx->grid_scale = g.scale;
                ctx->grid_set = 1;
            }
            break;
        }
        case DRAW_PASSES:
            if (!run_passes(&run)) return;
            break;
        case DRAW_UNLOAD_SPRITE: {
            frame_string path = frame_read_string(s);
            if (once && !s->error && path.text && path.text[0]) {
                texture_cache_entry *entry = texture_cache_lookup(ctx, path.text);
                if (entry && entry->texture) {
                    SDL_DestroyTexture(entry->texture);
                    entry->texture = nullptr;
                }
                file_failures_forget(ctx->image_failures, path.text); // drawn next, the file is read again
            }
            break;
        }
        case DRAW_TOGGLE_CURSOR: {
            uint32_t show = frame_read_u32(s);
            if (once && !s->error) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
            break;
        }
        case DRAW_TOGGLE_FULLSCREEN: {
            uint32_t fullscreen = frame_read_u32(s);
            if (once && !s->error && ctx->window)
                SDL_SetWindowFullscreen(ctx->window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
            break;
        }
        case DRAW_UPLOAD_PIXEL_ARRAY: {
            frame_upload u;
            frame_read_upload(s, &u);
            if (once && !s->error) upload_pixels(ctx, u);
            break;
        }
        case DRAW_OPENURL: {
            frame_string url = frame_read_string(s);
            if (once && !s->error && url.text) SDL_OpenURL(url.text);
            break;
        }
        default: return; // a primitive or unknown code outside a pass ends the frame
        }
    }
}
