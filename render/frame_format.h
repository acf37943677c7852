// frame_format: the one description of the frame stream's records. Every writer (the
// per-frame step's passes block, FFI::Draw, the native pixel upload) and the one reader
// (the frame interpreter) go through these helpers, so the layout lives only here.
//
// Fields are 4 bytes in host order: U (u32 flag), I (i32), F (f32); S and B are a u32
// length, the bytes, a NUL and padding to 4 (threadstream_pad4; length 0xFFFFFFFF: null,
// nothing after it).
#pragma once
#include <stdint.h>
#include <string.h>

#include "base/threadstream.h"

enum draw_opcode : uint32_t {
    DRAW_NOP = 0,
    DRAW_SOLID = 1,              // pass: F x, y, w, h; I r, g, b, a
    DRAW_SPRITE = 2,             // pass: see frame_sprite
    DRAW_LABEL = 3,              // pass: see frame_label
    DRAW_LINE = 4,               // pass: F x, y, x2, y2; I r, g, b, a
    DRAW_BORDER = 5,             // pass: as DRAW_SOLID
    DRAW_SCREENSHOT = 6,         // top: see frame_screenshot
    DRAW_SET_GRID = 7,           // top: F x, y; I scale
    DRAW_PASSES = 8,             // top: U count, U screenshot, then count passes
    DRAW_END_PASS = 9,           // pass: ends it
    DRAW_UNLOAD_SPRITE = 10,     // top: S path
    DRAW_TOGGLE_CURSOR = 11,     // top: U show
    DRAW_TOGGLE_FULLSCREEN = 12, // top: U fullscreen
    DRAW_UPLOAD_PIXEL_ARRAY = 13, // top: S name, I width, I height, B pixels
    DRAW_OPENURL = 14,           // top: S url
    DRAW_OPCODE_COUNT = 15,
};

// A stream string: pointer into the stream (NUL-terminated there) or null, and its length.
struct frame_string {
    const char *text;
    size_t length;
};

// Solids, borders and lines (x2, y2 travel in w, h).
struct frame_rect {
    float x, y, w, h;
    int32_t r, g, b, a;
};

struct frame_sprite {
    frame_string path;
    float x, y, w, h, angle;
    int32_t r, g, b, a;
    float tile_x, tile_y, tile_w, tile_h;
    float source_x, source_y, source_w, source_h;
    uint32_t flip_horizontally, flip_vertically;
    float angle_anchor_x, angle_anchor_y;
};

struct frame_label {
    float x, y;
    frame_string text, font; // text is never null on the stream; font null: the default font
    float size_enum;
    int32_t alignment_enum, r, g, b, a;
};

struct frame_screenshot {
    frame_string path;
    float x, y, w, h;
    int32_t tolerance, r, g, b, a;
};

struct frame_grid {
    float x, y;
    int32_t scale;
};

struct frame_upload {
    frame_string name;
    int32_t width, height;
    frame_string pixels; // width x height 0xAABBGGRR words, rows top first
};

struct frame_pass_header {
    int32_t r, g, b, a;  // clear colour of the target
    frame_string target; // null: the window
    int32_t width, height;
    uint32_t render_transient;
};

// ---- writing ----------------------------------------------------------------------------
// Each helper checks the stream (null, or a set error flag, writes nothing); a record is
// claimed whole, so a growth failure never leaves half of one behind a good record.

static inline uint8_t *frame_claim(threadstream *s, size_t bytes)
{
    if (!s || s->error || !threadstream_claim_space(s, bytes)) return nullptr;
    uint8_t *at = s->data + s->length;
    s->length += bytes;
    return at;
}

static inline uint8_t *frame_put_u32(uint8_t *at, uint32_t v)
{
    memcpy(at, &v, 4);
    return at + 4;
}
static inline uint8_t *frame_put_i32(uint8_t *at, int32_t v)
{
    memcpy(at, &v, 4);
    return at + 4;
}
static inline uint8_t *frame_put_f32(uint8_t *at, float v)
{
    memcpy(at, &v, 4);
    return at + 4;
}

static inline void frame_write_u32(threadstream *s, uint32_t v)
{
    if (uint8_t *at = frame_claim(s, 4)) frame_put_u32(at, v);
}

static inline void frame_write_string(threadstream *s, frame_string str)
{
    if (s && !s->error) threadstream_pack_buffer(s, str.text, str.length);
}

static inline frame_string frame_cstring(const char *text)
{
    return frame_string{text, text ? strlen(text) : 0};
}

static inline void frame_write_rect(threadstream *s, uint32_t code, const frame_rect &r)
{
    uint8_t *at = frame_claim(s, 36);
    if (!at) return;
    at = frame_put_u32(at, code);
    at = frame_put_f32(at, r.x), at = frame_put_f32(at, r.y), at = frame_put_f32(at, r.w), at = frame_put_f32(at, r.h);
    at = frame_put_i32(at, r.r), at = frame_put_i32(at, r.g), at = frame_put_i32(at, r.b), frame_put_i32(at, r.a);
}

static inline void frame_write_sprite(threadstream *s, const frame_sprite &p)
{
    uint8_t *at = nullptr;
    size_t n = p.path.length;
    if (p.path.text && n < (1u << 20)) { // the whole record claimed at once, laid out as below
        size_t string_bytes = threadstream_pad4(4 + n + 1);
        at = frame_claim(s, 4 + string_bytes + 21 * 4);
        if (!at) return;
        at = frame_put_u32(at, DRAW_SPRITE);
        frame_put_u32(at, (uint32_t)n);
        if (n) memcpy(at + 4, p.path.text, n);
        at[4 + n] = 0;
        at += string_bytes;
    } else {
        frame_write_u32(s, DRAW_SPRITE);
        frame_write_string(s, p.path);
        at = frame_claim(s, 21 * 4);
        if (!at) return;
    }
    at = frame_put_f32(at, p.x), at = frame_put_f32(at, p.y), at = frame_put_f32(at, p.w), at = frame_put_f32(at, p.h);
    at = frame_put_f32(at, p.angle);
    at = frame_put_i32(at, p.r), at = frame_put_i32(at, p.g), at = frame_put_i32(at, p.b), at = frame_put_i32(at, p.a);
    at = frame_put_f32(at, p.tile_x), at = frame_put_f32(at, p.tile_y);
    at = frame_put_f32(at, p.tile_w), at = frame_put_f32(at, p.tile_h);
    at = frame_put_f32(at, p.source_x), at = frame_put_f32(at, p.source_y);
    at = frame_put_f32(at, p.source_w), at = frame_put_f32(at, p.source_h);
    at = frame_put_u32(at, p.flip_horizontally), at = frame_put_u32(at, p.flip_vertically);
    at = frame_put_f32(at, p.angle_anchor_x), frame_put_f32(at, p.angle_anchor_y);
}

static inline void frame_write_label(threadstream *s, const frame_label &l)
{
    if (uint8_t *at = frame_claim(s, 12)) {
        at = frame_put_u32(at, DRAW_LABEL);
        at = frame_put_f32(at, l.x), frame_put_f32(at, l.y);
    }
    frame_write_string(s, l.text.text ? l.text : frame_string{"", 0});
    frame_write_string(s, l.font);
    uint8_t *at = frame_claim(s, 24);
    if (!at) return;
    at = frame_put_f32(at, l.size_enum), at = frame_put_i32(at, l.alignment_enum);
    at = frame_put_i32(at, l.r), at = frame_put_i32(at, l.g), at = frame_put_i32(at, l.b), frame_put_i32(at, l.a);
}

static inline void frame_write_screenshot(threadstream *s, const frame_screenshot &c)
{
    frame_write_u32(s, DRAW_SCREENSHOT);
    frame_write_string(s, c.path);
    uint8_t *at = frame_claim(s, 36);
    if (!at) return;
    at = frame_put_f32(at, c.x), at = frame_put_f32(at, c.y), at = frame_put_f32(at, c.w), at = frame_put_f32(at, c.h);
    at = frame_put_i32(at, c.tolerance);
    at = frame_put_i32(at, c.r), at = frame_put_i32(at, c.g), at = frame_put_i32(at, c.b), frame_put_i32(at, c.a);
}

static inline void frame_write_grid(threadstream *s, const frame_grid &g)
{
    uint8_t *at = frame_claim(s, 16);
    if (!at) return;
    at = frame_put_u32(at, DRAW_SET_GRID);
    at = frame_put_f32(at, g.x), at = frame_put_f32(at, g.y), frame_put_i32(at, g.scale);
}

// DRAW_UNLOAD_SPRITE and DRAW_OPENURL.
static inline void frame_write_string_record(threadstream *s, uint32_t code, frame_string str)
{
    frame_write_u32(s, code);
    frame_write_string(s, str);
}

// DRAW_TOGGLE_CURSOR and DRAW_TOGGLE_FULLSCREEN.
static inline void frame_write_flag_record(threadstream *s, uint32_t code, uint32_t flag)
{
    uint8_t *at = frame_claim(s, 8);
    if (at) frame_put_u32(frame_put_u32(at, code), flag ? 1 : 0);
}

// The caller has checked that pixels.length is width x height x 4.
static inline void frame_write_upload(threadstream *s, const frame_upload &u)
{
    frame_write_u32(s, DRAW_UPLOAD_PIXEL_ARRAY);
    frame_write_string(s, u.name);
    if (uint8_t *at = frame_claim(s, 8)) frame_put_i32(frame_put_i32(at, u.width), u.height);
    frame_write_string(s, u.pixels);
}

static inline void frame_write_passes(threadstream *s, uint32_t count, uint32_t screenshot)
{
    uint8_t *at = frame_claim(s, 12);
    if (at) frame_put_u32(frame_put_u32(frame_put_u32(at, DRAW_PASSES), count), screenshot ? 1 : 0);
}

static inline void frame_write_pass_header(threadstream *s, const frame_pass_header &h)
{
    if (uint8_t *at = frame_claim(s, 16))
        frame_put_i32(frame_put_i32(frame_put_i32(frame_put_i32(at, h.r), h.g), h.b), h.a);
    frame_write_string(s, h.target);
    if (uint8_t *at = frame_claim(s, 12)) frame_put_u32(frame_put_i32(frame_put_i32(at, h.width), h.height), h.render_transient);
}

// ---- reading ----------------------------------------------------------------------------
// Reading past the end sets the stream's error and yields 0 or the empty string; so does a
// string whose terminating NUL is not where its length says (a damaged stream), since the
// reader hands strings on in place to code that stops at the NUL.

static inline uint32_t frame_read_u32(threadstream *s) { return (uint32_t)threadstream_unpack_int(s); }
static inline int32_t frame_read_i32(threadstream *s) { return threadstream_unpack_int(s); }
static inline float frame_read_f32(threadstream *s) { return threadstream_unpack_float(s); }

static inline frame_string frame_read_string(threadstream *s)
{
    if (!s) return frame_string{"", 0};
    size_t n = 0;
    const char *p = threadstream_unpack_buffer(s, &n);
    if (s->read_position > s->length) { // cut inside the padding: the record is incomplete
        s->read_position = s->length;
        s->error = 1;
    }
    if (p && (s->error || p[n] != 0)) {
        s->error = 1;
        return frame_string{"", 0};
    }
    return frame_string{p, n};
}

static inline void frame_read_rect(threadstream *s, frame_rect *r)
{
    r->x = frame_read_f32(s), r->y = frame_read_f32(s), r->w = frame_read_f32(s), r->h = frame_read_f32(s);
    r->r = frame_read_i32(s), r->g = frame_read_i32(s), r->b = frame_read_i32(s), r->a = frame_read_i32(s);
}

static inline void frame_read_sprite(threadstream *s, frame_sprite *p)
{
    p->path = frame_read_string(s);
    // The whole fixed part at hand (the common case): one check instead of one per field.
    if (s && !s->error && s->read_position <= s->length && s->length - s->read_position >= 21 * 4) {
        const uint8_t *at = s->data + s->read_position;
        float f[21];
        memcpy(f, at, sizeof f);
        s->read_position += sizeof f;
        p->x = f[0], p->y = f[1], p->w = f[2], p->h = f[3], p->angle = f[4];
        memcpy(&p->r, at + 20, 4), memcpy(&p->g, at + 24, 4), memcpy(&p->b, at + 28, 4), memcpy(&p->a, at + 32, 4);
        p->tile_x = f[9], p->tile_y = f[10], p->tile_w = f[11], p->tile_h = f[12];
        p->source_x = f[13], p->source_y = f[14], p->source_w = f[15], p->source_h = f[16];
        memcpy(&p->flip_horizontally, at + 68, 4), memcpy(&p->flip_vertically, at + 72, 4);
        p->angle_anchor_x = f[19], p->angle_anchor_y = f[20];
        return;
    }
    p->x = frame_read_f32(s), p->y = frame_read_f32(s), p->w = frame_read_f32(s), p->h = frame_read_f32(s);
    p->angle = frame_read_f32(s);
    p->r = frame_read_i32(s), p->g = frame_read_i32(s), p->b = frame_read_i32(s), p->a = frame_read_i32(s);
    p->tile_x = frame_read_f32(s), p->tile_y = frame_read_f32(s);
    p->tile_w = frame_read_f32(s), p->tile_h = frame_read_f32(s);
    p->source_x = frame_read_f32(s), p->source_y = frame_read_f32(s);
    p->source_w = frame_read_f32(s), p->source_h = frame_read_f32(s);
    p->flip_horizontally = frame_read_u32(s), p->flip_vertically = frame_read_u32(s);
    p->angle_anchor_x = frame_read_f32(s), p->angle_anchor_y = frame_read_f32(s);
}

static inline void frame_read_label(threadstream *s, frame_label *l)
{
    l->x = frame_read_f32(s), l->y = frame_read_f32(s);
    l->text = frame_read_string(s);
    if (!l->text.text) l->text = frame_string{"", 0};
    l->font = frame_read_string(s);
    l->size_enum = frame_read_f32(s);
    l->alignment_enum = frame_read_i32(s);
    l->r = frame_read_i32(s), l->g = frame_read_i32(s), l->b = frame_read_i32(s), l->a = frame_read_i32(s);
}

static inline void frame_read_screenshot(threadstream *s, frame_screenshot *c)
{
    c->path = frame_read_string(s);
    c->x = frame_read_f32(s), c->y = frame_read_f32(s), c->w = frame_read_f32(s), c->h = frame_read_f32(s);
    c->tolerance = frame_read_i32(s);
    c->r = frame_read_i32(s), c->g = frame_read_i32(s), c->b = frame_read_i32(s), c->a = frame_read_i32(s);
}

static inline void frame_read_grid(threadstream *s, frame_grid *g)
{
    g->x = frame_read_f32(s), g->y = frame_read_f32(s), g->scale = frame_read_i32(s);
}

static inline void frame_read_upload(threadstream *s, frame_upload *u)
{
    u->name = frame_read_string(s);
    u->width = frame_read_i32(s), u->height = frame_read_i32(s);
    u->pixels = frame_read_string(s);
}

static inline void frame_read_pass_header(threadstream *s, frame_pass_header *h)
{
    h->r = frame_read_i32(s), h->g = frame_read_i32(s), h->b = frame_read_i32(s), h->a = frame_read_i32(s);
    h->target = frame_read_string(s);
    h->width = frame_read_i32(s), h->height = frame_read_i32(s);
    h->render_transient = frame_read_u32(s);
}

// ---- sizes ------------------------------------------------------------------------------

// Render targets and pixel uploads larger than this on a side are refused (no renderer
// here makes bigger textures, and the byte counts stay far inside 32 bits).
#define FRAME_MAX_TEXTURE_SIDE 16384

// The byte count of a width x height picture of 32-bit pixels, computed in 64 bits; -1 for
// a negative side or one above FRAME_MAX_TEXTURE_SIDE.
static inline int64_t frame_picture_bytes(int64_t width, int64_t height)
{
    if (width < 0 || height < 0 || width > FRAME_MAX_TEXTURE_SIDE || height > FRAME_MAX_TEXTURE_SIDE) return -1;
    return width * height * 4;
}

// Claims a B field of n bytes and answers where its n bytes go (the NUL after them is set).
static inline uint8_t *frame_claim_buffer(threadstream *s, size_t n)
{
    size_t padded = threadstream_pad4(n + 5);
    if (n >= THREADSTREAM_NULL_MARKER) {
        if (s) s->error = 1;
        return nullptr;
    }
    uint8_t *at = frame_claim(s, padded);
    if (!at) return nullptr;
    frame_put_u32(at, (uint32_t)n);
    at[4 + n] = 0;
    return at + 4;
}
