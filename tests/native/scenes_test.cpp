// Whole frames as games send them, drawn by the renderer of this run (ctest runs this file
// under the dummy driver's software renderer and again under Xvfb's OpenGL) and checked
// against one table of expected pixels, the same for both. The scenes run one after another
// in one window, as a game's frames do: what one frame leaves in the renderer must not spoil
// the next (pictures loaded after textured draws, a frame of only sprites or only labels).
#include "support/render_fixture.h"

namespace {

// Every pixel of a box (one pixel by default), y down, in the window, a render target of the
// given name, or a PNG file the frame wrote; each channel within slack levels of the colour.
struct probe {
    int x, y, w, h;
    uint32_t colour;
    const char *in;
    int slack;
};

probe at(int x, int y, uint32_t colour) { return probe{x, y, 1, 1, colour, nullptr, 0}; }
probe box(int x, int y, int w, int h, uint32_t colour, const char *in = nullptr)
{
    return probe{x, y, w, h, colour, in, 0};
}
probe loose(probe p, int slack)
{
    p.slack = slack;
    return p;
}

bool near(uint32_t a, uint32_t b, int slack)
{
    for (int shift = 0; shift < 32; shift += 8)
        if (abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF)) > slack) return false;
    return true;
}

struct scene {
    const char *what;
    void (*frame)(threadstream *);
    std::vector<probe> probes;
};

// The quadrant picture drawn 64 x 64 with its top-left corner at window pixel (x, y).
std::vector<probe> quad_at(int x, int y, const char *in = nullptr)
{
    return {box(x, y, 32, 32, RED, in), box(x + 32, y, 32, 32, GREEN, in), box(x, y + 32, 32, 32, BLUE, in),
            box(x + 32, y + 32, 32, 32, WHITE, in)};
}

std::vector<probe> operator+(std::vector<probe> a, const std::vector<probe> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

class Scenes : public FrameFixture {
  protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        write_png("green.png", std::vector<uint32_t>(16 * 16, GREEN), 16, 16);
        write_png("glass.png", std::vector<uint32_t>(8 * 8, 0x80FFFFFFu), 8, 8); // white at half alpha
    }

    // The bottom-left grid and one window pass cleared to (r, g, b); end it with end_pass.
    static void window(threadstream *s, int32_t r = 0, int32_t g = 0, int32_t b = 0)
    {
        grid(s);
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, pass(nullptr, 0, 0, 0, r, g, b));
    }

    static void end_pass(threadstream *s) { frame_write_u32(s, DRAW_END_PASS); }

    static frame_label label(const char *text, float x, float y, int32_t r, int32_t g, int32_t b)
    {
        return frame_label{x, y, frame_cstring(text), {nullptr, 0}, 0, 0, r, g, b, 255};
    }

    // What the probe's box holds, read back from where it points; "" when all is as expected.
    std::string mismatch(const probe &p)
    {
        std::vector<uint32_t> px((size_t)p.w * p.h);
        int32_t fw = 0, fh = 0;
        uint32_t *file = nullptr;
        bool png = p.in && strstr(p.in, ".png");
        if (png) {
            file = load_image(p.in, &fw, &fh);
            if (!file) return std::string(p.in) + " was not written";
        } else {
            SDL_Texture *target = p.in ? texture_cache_lookup(ctx, p.in)->texture : nullptr;
            if (p.in && !target) return std::string(p.in) + " is no texture";
            SDL_SetRenderTarget(ctx->renderer, target);
            SDL_Rect r = {p.x, p.y, p.w, p.h};
            SDL_RenderReadPixels(ctx->renderer, &r, SDL_PIXELFORMAT_ABGR8888, px.data(), p.w * 4);
            SDL_SetRenderTarget(ctx->renderer, nullptr);
        }
        std::string out;
        for (int y = 0; y < p.h && out.empty(); y++)
            for (int x = 0; x < p.w && out.empty(); x++) {
                uint32_t got = png ? (p.x + x < fw && p.y + y < fh ? file[(p.y + y) * fw + p.x + x] : 0)
                                   : px[(size_t)y * p.w + x];
                if (near(got, p.colour, p.slack)) continue;
                char b[96];
                snprintf(b, sizeof b, "(%d, %d)%s%s: %08X, not %08X", p.x + x, p.y + y, p.in ? " in " : "",
                         p.in ? p.in : "", got, p.colour);
                out = b;
            }
        free_image(file);
        return out;
    }
};

TEST_F(Scenes, EveryKindOfFrameShowsTheSamePixelsOnEitherRenderer)
{
    const uint32_t YELLOW = 0xFF00FFFFu, CYAN = 0xFFFFFF00u, DARK_RED = 0xFF000080u;
    // The window is 320 x 240, rows counted from the top: the bottom-left grid puts a game's
    // y at row H - y, so a box from y to y + h covers rows H - y - h to H - y - 1.
    const scene scenes[] = {
        {"only sprites", [](threadstream *s) { window(s); frame_write_sprite(s, sprite("quad.png")); end_pass(s); },
         quad_at(0, H - 64) + std::vector<probe>{box(64, H - 64, 40, 64, BLACK)}},
        // "H" at 22 pixels: stems and bar fully covered, the counters empty, edges partly.
        {"only labels",
         [](threadstream *s) { window(s), frame_write_label(s, label("H", 100, 100, 255, 0, 0)), end_pass(s); },
         {box(102, 144, 1, 13, RED), box(102, 149, 10, 1, RED), box(111, 144, 1, 13, RED), box(104, 144, 6, 4, BLACK),
          at(103, 146, 0xFF0000B7u), at(110, 146, 0xFF000081u), box(90, 130, 10, 40, BLACK)}},
        {"only sprites, one of a picture loaded after textured draws",
         [](threadstream *s) {
             window(s);
             frame_write_sprite(s, sprite("quad.png"));
             frame_write_sprite(s, sprite("green.png", 100, 100, 32, 32));
             end_pass(s);
         },
         quad_at(0, H - 64) + std::vector<probe>{box(100, H - 132, 32, 32, GREEN)}},
        // After a frame that loaded a picture, this one starts with a textured draw.
        // The same "H" cut by the left edge (its left stem outside) and by the top: a glyph's
        // place is truncated toward zero, so above the window it lands a row lower.
        {"labels crossing edges",
         [](threadstream *s) {
             window(s), frame_write_label(s, label("H", -5, 100, 255, 0, 0));
             frame_write_label(s, label("H", 100, H + 8, 255, 0, 0)), end_pass(s);
         },
         {box(6, 144, 1, 13, RED), box(0, 149, 7, 1, RED), at(5, 146, 0xFF000081u), box(0, 144, 4, 4, BLACK),
          box(102, 0, 1, 10, RED), box(102, 2, 10, 1, RED), box(111, 0, 1, 10, RED), box(104, 4, 6, 5, BLACK)}},
        {"sprites before lines",
         [](threadstream *s) {
             window(s);
             frame_write_sprite(s, sprite("quad.png"));
             frame_write_rect(s, DRAW_LINE, frame_rect{10, 100, 100, 100, 255, 255, 0, 255});
             end_pass(s);
         },
         quad_at(0, H - 64) + std::vector<probe>{box(20, H - 100, 80, 1, YELLOW)}},
        {"only lines",
         [](threadstream *s) {
             window(s);
             frame_write_rect(s, DRAW_LINE, frame_rect{10, 19, 100, 19, 255, 255, 0, 255});
             frame_write_rect(s, DRAW_LINE, frame_rect{200, 10, 200, 100, 0, 255, 255, 255});
             end_pass(s);
         },
         {box(20, H - 19, 80, 1, YELLOW), box(20, H - 20, 80, 1, BLACK), box(20, H - 18, 80, 1, BLACK),
          box(200, 145, 1, 80, CYAN), box(199, 145, 1, 80, BLACK), box(201, 145, 1, 80, BLACK)}},
        // The target's own bottom-left origin; the window keeps what the last frame left.
        {"only a render target",
         [](threadstream *s) {
             grid(s);
             frame_write_passes(s, 1, 0);
             frame_write_pass_header(s, pass("rt", 96, 64, 0, 0, 0, 255));
             frame_write_sprite(s, sprite("quad.png", 16, 0));
             frame_write_sprite(s, sprite("glass.png", 80, 0, 16, 16));
             end_pass(s);
         },
         quad_at(16, 0, "rt") + std::vector<probe>{box(0, 0, 16, 64, BLUE, "rt"), box(80, 0, 16, 48, BLUE, "rt"),
                                                   box(80, 48, 16, 16, 0xFFFF8080u, "rt")}},
        {"a render target drawn into and shown in the same frame",
         [](threadstream *s) {
             grid(s);
             frame_write_passes(s, 2, 0);
             frame_write_pass_header(s, pass("panel", 32, 32, 0, 0, 0, 255));
             frame_write_sprite(s, sprite("green.png", 0, 0, 16, 16));
             frame_write_rect(s, DRAW_SOLID, frame_rect{16, 16, 16, 16, 255, 0, 0, 255});
             end_pass(s);
             frame_write_pass_header(s, pass());
             frame_write_sprite(s, sprite("panel", 200, 100, 64, 64)); // twice its size
             end_pass(s);
         },
         {box(232, 76, 32, 32, RED), box(200, 108, 32, 32, GREEN), box(200, 76, 32, 32, BLUE),
          box(232, 108, 32, 32, BLUE)}},
        {"a solid, a sprite, a label, a border and a line in turn",
         [](threadstream *s) {
             window(s);
             frame_write_rect(s, DRAW_SOLID, frame_rect{0, 0, 40, 40, 0, 0, 255, 255});
             frame_write_sprite(s, sprite("quad.png", 50, 0));
             frame_write_label(s, label("H", 100, 100, 255, 255, 255));
             frame_write_rect(s, DRAW_BORDER, frame_rect{150, 10, 40, 30, 255, 0, 0, 255});
             frame_write_rect(s, DRAW_LINE, frame_rect{200, 5, 300, 5, 0, 255, 255, 255});
             end_pass(s);
         },
         quad_at(50, H - 64) + std::vector<probe>{box(0, H - 40, 40, 40, BLUE), box(102, 144, 1, 13, WHITE),
                                                  box(104, 144, 6, 4, BLACK), box(150, H - 40, 40, 1, RED),
                                                  box(150, H - 11, 40, 1, RED), box(150, H - 39, 1, 28, RED),
                                                  box(151, H - 39, 38, 28, BLACK), box(210, H - 5, 80, 1, CYAN)}},
        // Every sprite option, each a frame of its own.
        {"a tile counts from the top",
         [](threadstream *s) {
             frame_sprite p = sprite("quad.png");
             p.tile_x = 32, p.tile_w = p.tile_h = 32;
             window(s), frame_write_sprite(s, p), end_pass(s);
         },
         {box(0, H - 64, 64, 64, GREEN)}},
        {"a source counts from the bottom",
         [](threadstream *s) {
             frame_sprite p = sprite("quad.png");
             p.source_x = 32, p.source_w = p.source_h = 32;
             window(s), frame_write_sprite(s, p), end_pass(s);
         },
         {box(0, H - 64, 64, 64, WHITE)}},
        {"flipped both ways",
         [](threadstream *s) {
             frame_sprite p = sprite("quad.png");
             p.flip_horizontally = p.flip_vertically = 1;
             window(s), frame_write_sprite(s, p), end_pass(s);
         },
         {box(0, H - 64, 32, 32, WHITE), box(32, H - 64, 32, 32, BLUE), box(0, H - 32, 32, 32, GREEN),
          box(32, H - 32, 32, 32, RED)}},
        // About its bottom-left corner (100, 50) a quarter turn counter-clockwise puts the
        // picture at x 36 to 100, y 50 to 114: its left column becomes its bottom row.
        // Inner boxes: the edges of a turned copy may fall either way.
        {"turned a quarter about its bottom-left corner",
         [](threadstream *s) {
             frame_sprite p = sprite("quad.png", 100, 50);
             p.angle = 90, p.angle_anchor_x = p.angle_anchor_y = 0;
             window(s), frame_write_sprite(s, p), end_pass(s);
         },
         {box(40, H - 78, 24, 24, RED), box(40, H - 110, 24, 24, GREEN), box(72, H - 78, 24, 24, BLUE),
          box(72, H - 110, 24, 24, WHITE), box(104, H - 114, 20, 64, BLACK)}},
        {"tinted red",
         [](threadstream *s) {
             frame_sprite p = sprite("quad.png");
             p.g = p.b = 0;
             window(s), frame_write_sprite(s, p), end_pass(s);
         },
         {box(0, H - 64, 32, 32, RED), box(32, H - 64, 32, 32, BLACK), box(0, H - 32, 32, 32, BLACK),
          box(32, H - 32, 32, 32, RED)}},
        {"half alpha over a blue background",
         [](threadstream *s) {
             frame_sprite p = sprite("quad.png");
             p.a = 128;
             window(s, 0, 0, 255), frame_write_sprite(s, p), end_pass(s);
         },
         {box(0, H - 64, 32, 32, 0xFF7F0080u), box(32, H - 64, 32, 32, 0xFF7F8000u), box(0, H - 32, 32, 32, BLUE),
          box(32, H - 32, 32, 32, 0xFFFF8080u)}},
        {"a translucent picture, straight and turned",
         [](threadstream *s) {
             frame_sprite p = sprite("glass.png", 0, 0, 32, 32), turned = sprite("glass.png", 100, 0, 32, 32);
             turned.angle = 30;
             window(s, 0, 0, 255), frame_write_sprite(s, p), frame_write_sprite(s, turned), end_pass(s);
         },
         // SDL's software renderer blends turned copies dividing by 256 for 255: 2 levels off.
         {box(0, H - 32, 32, 32, 0xFFFF8080u), loose(box(108, H - 24, 16, 16, 0xFFFF8080u), 2),
          box(40, H - 32, 40, 32, BLUE)}},
        {"an opaque picture over a colour, at full and at no alpha",
         [](threadstream *s) {
             frame_sprite gone = sprite("green.png", 40, 0, 32, 32);
             gone.a = 0;
             window(s, 128, 0, 0);
             frame_write_sprite(s, sprite("green.png", 0, 0, 32, 32)), frame_write_sprite(s, gone), end_pass(s);
         },
         {box(0, H - 32, 32, 32, GREEN), box(40, H - 32, 32, 32, DARK_RED)}},
        {"a pixel array",
         [](threadstream *s) {
             static const uint32_t four[] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu};
             frame_write_upload(s, frame_upload{frame_cstring("pa"), 2, 2, {(const char *)four, 16}});
             window(s), frame_write_sprite(s, sprite("pa")), end_pass(s);
         },
         quad_at(0, H - 64)},
        {"a screenshot of the window pass",
         [](threadstream *s) {
             grid(s);
             frame_write_passes(s, 1, 1);
             frame_write_pass_header(s, pass(nullptr, 0, 0, 0, 0, 0, 255));
             frame_write_sprite(s, sprite("quad.png"));
             frame_write_label(s, label("H", 100, 100, 255, 0, 0));
             end_pass(s);
             frame_write_screenshot(s, frame_screenshot{frame_cstring("shots/scene.png"), 0, 0, W, H, 0, 0, 0, 0, 0});
         },
         quad_at(0, H - 64, "shots/scene.png") + quad_at(0, H - 64) +
             std::vector<probe>{box(102, 144, 1, 13, RED, "shots/scene.png"), box(104, 144, 6, 4, BLUE, "shots/scene.png"),
                                box(64, 0, 30, H, BLUE, "shots/scene.png")}},
        // Half outside each edge: what shows is the part of the picture that lies inside.
        {"sprites crossing every edge of the window",
         [](threadstream *s) {
             window(s);
             for (frame_sprite p : {sprite("quad.png", -32, 100), sprite("quad.png", W - 32, 100),
                                    sprite("quad.png", 100, -32), sprite("quad.png", 200, H - 32),
                                    sprite("quad.png", -40, -40)})
                 frame_write_sprite(s, p);
             end_pass(s);
         },
         {box(0, H - 164, 32, 32, GREEN), box(0, H - 132, 32, 32, WHITE), box(W - 32, H - 164, 32, 32, RED),
          box(W - 32, H - 132, 32, 32, BLUE), box(100, H - 32, 32, 32, RED), box(132, H - 32, 32, 32, GREEN),
          box(200, 0, 32, 32, BLUE), box(232, 0, 32, 32, WHITE), box(0, H - 24, 24, 24, GREEN),
          box(32, H - 164, 68, 64, BLACK)}},
        // Tiles and sources keep their texels when cut; a scaled sprite is left whole to the renderer.
        {"a tile, a source and a stretched sprite crossing edges",
         [](threadstream *s) {
             frame_sprite tile = sprite("quad.png", -16, 100, 32, 32), source = sprite("quad.png", W - 16, 100, 32, 32),
                          stretched = sprite("quad.png", -64, 20, 128, 128);
             tile.tile_x = 32, tile.tile_w = tile.tile_h = 32;
             source.source_x = 0, source.source_y = 0, source.source_w = source.source_h = 32;
             window(s), frame_write_sprite(s, tile), frame_write_sprite(s, source), frame_write_sprite(s, stretched);
             end_pass(s);
         },
         {box(0, H - 132, 16, 32, GREEN), box(W - 16, H - 132, 16, 32, BLUE), box(0, H - 148, 64, 64, GREEN),
          box(0, H - 84, 64, 64, WHITE)}},
        {"sprites crossing the edges of a render target",
         [](threadstream *s) {
             grid(s);
             frame_write_passes(s, 1, 0);
             frame_write_pass_header(s, pass("edges", 48, 48, 0, 0, 0, 255));
             frame_write_sprite(s, sprite("quad.png", -40, -40));
             frame_write_sprite(s, sprite("green.png", 40, 40, 16, 16));
             end_pass(s);
         },
         {box(0, 24, 24, 24, GREEN, "edges"), box(24, 24, 16, 24, BLUE, "edges"), box(40, 0, 8, 8, GREEN, "edges"),
          box(40, 8, 8, 40, BLUE, "edges")}},
        {"a centred origin",
         [](threadstream *s) {
             frame_write_grid(s, frame_grid{W / 2, H / 2, -1});
             frame_write_passes(s, 1, 0);
             frame_write_pass_header(s, pass());
             frame_write_sprite(s, sprite("quad.png"));
             frame_write_rect(s, DRAW_SOLID, frame_rect{-20, -20, 10, 10, 255, 255, 0, 255});
             frame_write_label(s, label("H", -100, 0, 255, 0, 0));
             end_pass(s);
         },
         quad_at(W / 2, H / 2 - 64) + std::vector<probe>{box(W / 2 - 20, H / 2 + 10, 10, 10, YELLOW),
                                                          box(W / 2 - 98, H / 2 + 4, 1, 13, RED)}},
    };
    for (const scene &sc : scenes) {
        threadstream *s = threadstream_allocate();
        sc.frame(s);
        run_and_free(s);
        for (const probe &p : sc.probes) EXPECT_EQ("", mismatch(p)) << sc.what;
    }
}
