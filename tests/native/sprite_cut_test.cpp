// Sprites far larger than their target are cut to it before the renderer sees them: drawn
// so they must show what the renderer draws of the whole sprite, pixel for pixel, and past
// any size the renderer can draw whole, the texel each pixel's centre falls on. An angle
// from a division by zero draws the sprite unturned.
#include "support/render_fixture.h"

#include <functional>
#include <math.h>
#include <random>
#include <string.h>

class SpriteCut : public RenderFixture {
  protected:
    static const int W = 320, H = 240;

    struct picture {
        const char *name;
        int w, h;
        std::vector<uint32_t> pixels;
    };
    // Texels of distinct colours, so that one drawn a pixel off shows: a coarse picture with a
    // few see-through texels, a fine one that the cut draws in many runs, and an opaque one.
    picture coarse = {"coarse.png", 37, 23, {}}, fine = {"fine.png", 301, 203, {}}, opaque = {"opaque.png", 37, 23, {}};

    void SetUp() override
    {
        RenderFixture::SetUp();
        ASSERT_TRUE(open(0, W, H)) << SDL_GetError();
        draw_init(ctx, fx.game_dir.c_str());
        std::mt19937 random(7);
        for (picture *p : {&coarse, &fine, &opaque}) {
            p->pixels.resize((size_t)p->w * p->h);
            for (uint32_t &px : p->pixels)
                px = (random() & 0x00FFFFFFu) | (p != &opaque && random() % 5 == 0 ? 0x80000000u : 0xFF000000u);
            size_t size = 0;
            uint8_t *png = encode_png(p->pixels.data(), p->w, p->h, 0, 0, &size);
            ASSERT_TRUE(png);
            write_file(fx.game_dir + "/" + p->name, std::string((const char *)png, size));
            SDL_free(png);
        }
    }

    static frame_sprite sprite(const picture &pic, float w, float h)
    {
        frame_sprite p = {};
        p.path = frame_cstring(pic.name);
        p.w = w, p.h = h;
        p.r = p.g = p.b = p.a = 255;
        p.tile_w = p.tile_h = p.source_w = p.source_h = -1;
        p.angle_anchor_x = p.angle_anchor_y = 0.5f;
        return p;
    }

    // Places the sprite so that the point (across, up) of it, in fractions of its size from its
    // bottom left, lands at (x, y) of a target of height h once turned (whole pixels throughout).
    static void place(frame_sprite &p, double across, double up, int x, int y, int h)
    {
        double turn = p.angle * M_PI / 180, ax = trunc(p.angle_anchor_x * p.w), ay = trunc(p.angle_anchor_y * p.h);
        double dx = across * p.w - ax, dy = up * p.h - ay; // from the centre, y up
        p.x = (float)round(x - (cos(turn) * dx - sin(turn) * dy) - ax);
        p.y = (float)round((h - y) - (sin(turn) * dx + cos(turn) * dy) - ay);
    }

    // The target's pixels: the window, or the named render target.
    std::vector<uint32_t> pixels_of(const char *target, int w, int h)
    {
        if (target) SDL_SetRenderTarget(ctx->renderer, texture_cache_lookup(ctx, target)->texture);
        std::vector<uint32_t> px((size_t)w * h);
        SDL_RenderReadPixels(ctx->renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, px.data(), w * 4);
        SDL_SetRenderTarget(ctx->renderer, nullptr);
        return px;
    }

    // The sprite through the frame interpreter, from the bottom-left origin, into the window
    // or a render target of w x h.
    std::vector<uint32_t> drawn(const frame_sprite &p, const char *target = nullptr, int w = W, int h = H)
    {
        threadstream *s = threadstream_allocate();
        frame_write_grid(s, frame_grid{0, (float)H, -1});
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, frame_pass_header{0, 0, 0, 255, frame_cstring(target), w, h, 0});
        frame_write_sprite(s, p);
        frame_write_u32(s, DRAW_END_PASS);
        draw_process_frame(ctx, s, 0, 0);
        threadstream_free(s);
        return pixels_of(target, w, h);
    }

    // The same sprite handed whole to the renderer, as the interpreter hands one that fits.
    std::vector<uint32_t> whole(const frame_sprite &p, const char *target = nullptr, int w = W, int h = H)
    {
        SDL_Texture *texture = texture_cache_lookup(ctx, p.path.text)->texture;
        int tw = 0, th = 0;
        SDL_QueryTexture(texture, nullptr, nullptr, &tw, &th);
        if (target) SDL_SetRenderTarget(ctx->renderer, texture_cache_lookup(ctx, target)->texture);
        SDL_SetRenderDrawColor(ctx->renderer, 0, 0, 0, 255);
        SDL_RenderClear(ctx->renderer);
        SDL_SetTextureColorMod(texture, (uint8_t)p.r, (uint8_t)p.g, (uint8_t)p.b);
        SDL_SetTextureAlphaMod(texture, (uint8_t)p.a);
        int flip = (p.flip_horizontally ? SDL_FLIP_HORIZONTAL : 0) | (p.flip_vertically ? SDL_FLIP_VERTICAL : 0);
        SDL_Rect src = {0, 0, tw, th}, dst = {(int)p.x, h - (int)p.y - (int)p.h, (int)p.w, (int)p.h};
        if (p.tile_w > 0) src = {(int)p.tile_x, (int)p.tile_y, (int)p.tile_w, (int)p.tile_h};
        if (p.source_w > 0) src = {(int)p.source_x, th - (int)p.source_y - (int)p.source_h, (int)p.source_w, (int)p.source_h};
        SDL_Point centre = {(int)(p.angle_anchor_x * p.w), (int)((1.0f - p.angle_anchor_y) * p.h)};
        if (flip == 0 && p.angle == 0) {
            // Copied, not blended, where nothing shows through: as the interpreter does.
            bool see_through = p.a != 255 || strcmp(p.path.text, opaque.name) != 0;
            SDL_SetTextureBlendMode(texture, see_through ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
            SDL_RenderCopy(ctx->renderer, texture, &src, &dst);
        } else {
            SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
            SDL_RenderCopyEx(ctx->renderer, texture, &src, &dst, 360.0 - p.angle, &centre, (SDL_RendererFlip)flip);
        }
        SDL_SetRenderTarget(ctx->renderer, nullptr);
        return pixels_of(target, w, h);
    }

    static int differing(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
    {
        int n = 0;
        for (size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
        return n;
    }
};

TEST_F(SpriteCut, AnglesFromADivisionByZeroDrawTheSpriteUnturned)
{
    struct {
        float angle, size;
        uint32_t flip_h, flip_v;
    } cases[] = {
        {INFINITY, 64, 0, 0}, {-INFINITY, 64, 0, 1}, {NAN, 64, 1, 0}, {INFINITY, 64, 1, 1},
        {NAN, 5000, 1, 0},    {-INFINITY, 5000, 0, 0},
    };
    for (const auto &c : cases) {
        frame_sprite p = sprite(coarse, c.size, c.size);
        p.flip_horizontally = c.flip_h, p.flip_vertically = c.flip_v;
        place(p, 0.3, 0.6, W / 2, H / 2, H);
        std::vector<uint32_t> unturned = drawn(p);
        p.angle = c.angle;
        EXPECT_EQ(0, differing(unturned, drawn(p))) << c.angle << " " << c.size << " " << c.flip_h << c.flip_v;
    }
}

// In a 320 x 240 target, sprites past 2,048 pixels are cut by the software renderer; the
// OpenGL renderer draws these whole itself.
TEST_F(SpriteCut, SpritesFarLargerThanTheTargetShowWhatTheRendererDrawsOfThemWhole)
{
    struct {
        const char *what;
        const picture &pic;
        float w, h, angle;
        std::function<void(frame_sprite &)> change;
    } cases[] = {
        {"unturned", coarse, 3001, 2777, 0, [](frame_sprite &) {}},
        {"unturned, opaque", opaque, 2500, 3900, 0, [](frame_sprite &) {}},
        {"unturned, fine texels", fine, 3333, 2468, 0, [](frame_sprite &) {}},
        {"flipped across", coarse, 2900, 3100, 0, [](frame_sprite &p) { p.flip_horizontally = 1; }},
        {"flipped both ways, tinted", fine, 3500, 2200, 0,
         [](frame_sprite &p) { p.flip_horizontally = p.flip_vertically = 1, p.g = 90, p.a = 180; }},
        {"quarter turn", coarse, 2300, 3600, 90, [](frame_sprite &p) { p.flip_vertically = 1; }},
        {"half turn", fine, 3100, 3000, 180, [](frame_sprite &) {}},
        {"three quarters", coarse, 2600, 2600, 270, [](frame_sprite &p) { p.angle_anchor_x = 0.1f; }},
        {"turned", coarse, 3211, 2469, 12.44f, [](frame_sprite &p) { p.angle_anchor_x = 0.195f; }},
        {"turned and flipped", coarse, 2978, 3604, 328.45f,
         [](frame_sprite &p) { p.flip_horizontally = p.flip_vertically = 1, p.angle_anchor_y = 0.807f; }},
        {"turned, fine texels, see-through", fine, 3800, 2900, 71.3f, [](frame_sprite &p) { p.a = 128, p.b = 30; }},
        {"turned about a corner", coarse, 2400, 3300, 143, [](frame_sprite &p) { p.angle_anchor_x = p.angle_anchor_y = 0; }},
        {"a tile", fine, 3000, 2500, 201.5f, [](frame_sprite &p) { p.tile_x = 40, p.tile_y = 30, p.tile_w = 120, p.tile_h = 90; }},
        {"a source reaching past the picture", coarse, 3300, 2700, 0,
         [](frame_sprite &p) { p.source_x = 20, p.source_y = 5, p.source_w = 30, p.source_h = 30; }},
    };
    for (const auto &c : cases) {
        frame_sprite p = sprite(c.pic, c.w, c.h);
        p.angle = c.angle;
        c.change(p);
        place(p, 0.37, 0.58, W / 2 + 10, H / 2 - 20, H);
        EXPECT_EQ(0, differing(whole(p), drawn(p))) << c.what;
    }
    // A render target of its own size: cut to it.
    frame_sprite p = sprite(coarse, 2700, 2300);
    p.angle = 33.3f, p.flip_vertically = 1;
    place(p, 0.6, 0.4, 90, 60, 150);
    std::vector<uint32_t> cut = drawn(p, "rt", 200, 150);
    EXPECT_EQ(0, differing(whole(p, "rt", 200, 150), cut));
}

// Far past any size the renderers draw whole (or turned about a centre far outside), each
// pixel shows the texel its centre falls on; a centre within a hundredth of a pixel of a
// texel's edge may show either. The software renderer turns any sprite only to within a
// pixel of that: it samples half a pixel before the centre and turns in 16.16 fixed point.
TEST_F(SpriteCut, SpritesOfAnySizeShowTheTexelUnderEachPixel)
{
    SDL_RendererInfo info;
    ASSERT_EQ(0, SDL_GetRendererInfo(ctx->renderer, &info));
    bool software = info.flags & SDL_RENDERER_SOFTWARE;
    struct {
        double w, h;
        float angle, anchor_x, anchor_y;
        uint32_t flip_h, flip_v;
    } cases[] = {
        {1e5, 7e4, 0, 0.9f, 0.1f, 1, 0},     {1e6, 2e6, 0, 0.3f, 0.7f, 1, 1},    {3e5, 2e5, 260.9f, 0, 0.1f, 0, 0},
        {1e6, 8e5, 113.1f, 0.9f, 0.3f, 1, 0}, {1e7, 1e7, 5.27f, 0.3f, 0.7f, 0, 1}, {1e8, 7e7, 207.8f, 0.3f, 0.4f, 1, 0},
        {1e8, 1e8, 90, 0.2f, 0.9f, 0, 1},    {400, 300, 50, 400, 0.5f, 0, 0},   {300, 300, 300, -1e4f, 700, 1, 0},
    };
    for (const auto &c : cases) {
        frame_sprite p = sprite(opaque, (float)c.w, (float)c.h);
        p.angle = c.angle, p.angle_anchor_x = c.anchor_x, p.angle_anchor_y = c.anchor_y;
        p.flip_horizontally = c.flip_h, p.flip_vertically = c.flip_v;
        place(p, 0.41, 0.53, W / 2, H / 2, H);
        std::vector<uint32_t> got = drawn(p);
        // The sprite as the interpreter takes it (single precision), back from each pixel.
        double x0 = trunc(p.x), y0 = trunc(H - p.y - p.h), w = p.w, h = p.h;
        double cx = x0 + trunc(p.angle_anchor_x * p.w), cy = y0 + trunc((1.0f - p.angle_anchor_y) * p.h);
        double turn = -(360.0 - p.angle) * M_PI / 180;
        int off = 0, shown = 0;
        for (int y = 0; y < H; y++) {
            for (int x = 0; x < W; x++) {
                double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                double across = (cos(turn) * dx - sin(turn) * dy + cx - x0) / w;
                double down = (sin(turn) * dx + cos(turn) * dy + cy - y0) / h;
                if (across < 0 || across >= 1 || down < 0 || down >= 1) continue;
                if (p.flip_horizontally) across = 1 - across;
                if (p.flip_vertically) down = 1 - down;
                double tx = across * opaque.w, ty = down * opaque.h;
                double edge = std::min(std::min(tx - floor(tx), ceil(tx) - tx) * w / opaque.w,
                                       std::min(ty - floor(ty), ceil(ty) - ty) * h / opaque.h);
                if (edge < (software && fmod(c.angle, 90.0f) != 0 ? 1.0 : 0.01)) continue;
                shown++;
                off += got[(size_t)y * W + x] != opaque.pixels[(size_t)ty * opaque.w + (size_t)tx];
            }
        }
        EXPECT_GT(shown, W * H / 4) << c.w << " " << c.angle;
        EXPECT_EQ(0, off) << c.w << " " << c.angle << " anchor " << c.anchor_x << " " << c.anchor_y;
    }
}


