#include "render/fontatlas.h"
#include "base/files.h"
#include "base/utf8.h"
#include "render/font_check.h"
#include "render/render.h"

#include <algorithm>
#include <limits.h>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#define STBTT_malloc(x, u) ((void)(u), SDL_malloc(x))
#define STBTT_free(x, u) ((void)(u), SDL_free(x))
// Its asserts mark formats it does not handle, not faults: a game's font must never abort the
// runtime, and the checks before it refuse what would read outside the file.
#define STBTT_assert(x) ((void)0)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_truetype.h>
#pragma GCC diagnostic pop

#define GLYPH_BUCKETS 32

struct skyline_node {
    int32_t x, y, width; // columns [x, x + width) are used from row 0 down to row y
    skyline_node *next;
};

struct atlas_page {
    SDL_Texture *texture;
    skyline_node *skyline;
    atlas_page *next;
};

struct glyph_hash_entry {
    uint64_t key;
    fontatlas_glyph *glyph;
    glyph_hash_entry *next;
};

struct glyph_atlas {
    SDL_Renderer *renderer;
    int32_t page_width, page_height;
    atlas_page *pages; // newest first
    glyph_hash_entry *buckets[GLYPH_BUCKETS];
};

// Looked up once: a label draws every glyph index and kerning pair of its text each frame,
// and stb_truetype searches the cmap and the kerning tables anew at every call.
#define INDEXED_CODEPOINTS 0x10000

struct kerning_cache {
    uint32_t *pairs; // index1 << 16 | index2, 0 for a free slot (no glyph index is 0 here)
    int32_t *values; // in font units
    uint32_t capacity, count;
};

struct fontatlas {
    stbtt_fontinfo info;
    unsigned char *data; // the font file; stb_truetype reads it in place
    font_tables tables;  // what its glyphs are checked against before stb_truetype reads them
    glyph_atlas *atlas;
    float ascent, descent, line_gap;
    int32_t *indices;    // glyph index + 1 of each code point below INDEXED_CODEPOINTS; 0: not looked up
    kerning_cache kerning;
};

// The glyph work record between rasterising and packing.
struct glyph_work {
    int32_t w, h, index;
    uint64_t key;
    uint32_t *pixels;
    float advance, left_side_bearing, x0, y0, x1, y1;
};

// Code point and pixel size both whole: sizes past 255 (high-density labels) get keys of
// their own instead of colliding with other code points.
static uint64_t glyph_key(uint32_t codepoint, uint32_t pixel_size) { return (uint64_t)codepoint << 32 | pixel_size; }

static uint32_t glyph_bucket(uint64_t key)
{
    uint32_t k = (uint32_t)(key >> 32) << 8 ^ (uint32_t)key;
    uint32_t h = (k ^ (k >> 16) ^ 61u) * 9u;
    h = (h ^ (h >> 4)) * 0x27D4EB2Du;
    h = h ^ (h >> 15);
    return h & (GLYPH_BUCKETS - 1);
}

static glyph_hash_entry *find_entry(glyph_atlas *atlas, uint64_t key)
{
    for (glyph_hash_entry *e = atlas->buckets[glyph_bucket(key)]; e; e = e->next)
        if (e->key == key) return e;
    return nullptr;
}

// A CFF font's buffers are sized by stb_truetype as if the table ran 512 MB: bound them by the
// table, which every buffer it reads glyphs through comes from.
static bool bound_cff_buffers(fontatlas *font)
{
    stbtt_fontinfo &info = font->info;
    if (!font->tables.cff) return true;
    unsigned char *begin = font->data + font->tables.cff, *end = begin + font->tables.cff_length;
    auto inside = [&](stbtt__buf &b) { return b.size == 0 || (b.data >= begin && b.data <= end && b.size <= end - b.data); };
    info.cff.size = (int)font->tables.cff_length;
    if (info.fdselect.size && info.fdselect.data >= begin && info.fdselect.data <= end)
        info.fdselect.size = std::min(info.fdselect.size, (int)(end - info.fdselect.data));
    return inside(info.cff) && inside(info.charstrings) && inside(info.gsubrs) && inside(info.subrs) &&
           inside(info.fontdicts) && inside(info.fdselect);
}

fontatlas *fontatlas_new(SDL_Renderer *renderer, const char *path)
{
    size_t length = 0;
    unsigned char *data = (unsigned char *)loadfile(path, &length);
    if (!data) {
        SDL_SetError("Couldn't load '%s': %s", path, physfs_last_error());
        return nullptr;
    }
    fontatlas *font = (fontatlas *)SDL_calloc(1, sizeof(fontatlas));
    glyph_atlas *atlas = font ? (glyph_atlas *)SDL_calloc(1, sizeof(glyph_atlas)) : nullptr;
    if (!atlas) {
        SDL_free(font);
        SDL_free(data);
        SDL_OutOfMemory();
        return nullptr;
    }
    font->data = data;
    font->atlas = atlas;
    if (!font_check_file(data, length, &font->tables) || !stbtt_InitFont(&font->info, data, 0) ||
        !bound_cff_buffers(font)) {
        fontatlas_delete(font);
        SDL_SetError("Font '%s' is bogus or corrupt", path);
        return nullptr;
    }
    int ascent, descent, line_gap;
    stbtt_GetFontVMetrics(&font->info, &ascent, &descent, &line_gap);
    font->ascent = (float)ascent;
    font->descent = (float)descent;
    font->line_gap = (float)line_gap;
    atlas->renderer = renderer;
    atlas->page_width = atlas->page_height = FONTATLAS_PAGE_SIZE;
    return font;
}

void fontatlas_delete(fontatlas *font)
{
    if (!font) return;
    if (glyph_atlas *atlas = font->atlas) {
        for (atlas_page *page = atlas->pages; page;) {
            atlas_page *next = page->next;
            if (page->texture) SDL_DestroyTexture(page->texture);
            for (skyline_node *n = page->skyline; n;) {
                skyline_node *after = n->next;
                SDL_free(n);
                n = after;
            }
            SDL_free(page);
            page = next;
        }
        for (glyph_hash_entry *bucket : atlas->buckets)
            for (glyph_hash_entry *e = bucket; e;) {
                glyph_hash_entry *next = e->next;
                SDL_free(e->glyph);
                SDL_free(e);
                e = next;
            }
        SDL_free(atlas);
    }
    SDL_free(font->indices);
    SDL_free(font->kerning.pairs);
    SDL_free(font->kerning.values);
    SDL_free(font->data);
    SDL_free(font);
}

float fontatlas_get_scale(fontatlas *font, uint32_t pixel_size)
{
    float height = font->ascent - font->descent;
    return height != 0.0f ? (float)pixel_size / height : 0.0f;
}

float fontatlas_get_ascent(fontatlas *font, float scale) { return font->ascent * scale; }

static atlas_page *new_page(glyph_atlas *atlas)
{
    atlas_page *page = (atlas_page *)SDL_calloc(1, sizeof(atlas_page));
    skyline_node *root = page ? (skyline_node *)SDL_calloc(1, sizeof(skyline_node)) : nullptr;
    // Static textures start undefined: the margins between glyphs must be transparent.
    void *clear = root ? SDL_calloc((size_t)atlas->page_width * (size_t)atlas->page_height, 4) : nullptr;
    SDL_Texture *texture = clear ? render_texture_create(atlas->renderer, SDL_PIXELFORMAT_ARGB8888,
                                                         SDL_TEXTUREACCESS_STATIC, atlas->page_width, atlas->page_height)
                                 : nullptr;
    if (texture) {
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
        SDL_UpdateTexture(texture, nullptr, clear, atlas->page_width * 4);
    }
    SDL_free(clear);
    if (!texture) {
        SDL_free(root);
        SDL_free(page);
        return nullptr;
    }
    root->width = atlas->page_width;
    page->texture = texture;
    page->skyline = root;
    page->next = atlas->pages;
    atlas->pages = page;
    return page;
}

// The best bottom-left spot for a bw x bh box on one page: lowest top, then the narrower
// starting node; false when nothing fits.
static bool find_spot(const glyph_atlas *atlas, const atlas_page *page, int32_t bw, int32_t bh, skyline_node **start,
                      skyline_node **before, int32_t *spot_y)
{
    int32_t best_top = INT32_MAX;
    *start = nullptr;
    skyline_node *prev = nullptr;
    for (skyline_node *n = page->skyline; n; prev = n, n = n->next) {
        if (n->x + bw > atlas->page_width) break; // nodes are ordered by x
        int32_t y = 0, covered = 0;
        for (skyline_node *m = n; m && covered < bw; m = m->next) {
            y = std::max(y, m->y);
            covered += m->width;
        }
        if (covered < bw || y + bh > atlas->page_height) continue;
        int32_t top = y + bh;
        if (top < best_top || (top == best_top && n->width < (*start)->width)) {
            best_top = top;
            *start = n;
            *before = prev;
            *spot_y = y;
        }
    }
    return *start != nullptr;
}

static void raise_skyline(atlas_page *page, skyline_node *node, skyline_node *before, skyline_node *start)
{
    node->next = start;
    if (before) before->next = node;
    else page->skyline = node;
    int32_t end = node->x + node->width;
    while (node->next && node->next->x < end) {
        skyline_node *f = node->next;
        if (f->x + f->width <= end) {
            node->next = f->next;
            SDL_free(f);
            continue;
        }
        int32_t overlap = end - f->x;
        f->x += overlap;
        f->width -= overlap;
        break;
    }
    for (skyline_node *n = page->skyline; n && n->next;) {
        if (n->next->y == n->y) {
            skyline_node *gone = n->next;
            n->width += gone->width;
            n->next = gone->next;
            SDL_free(gone);
        } else {
            n = n->next;
        }
    }
}

// Places the glyph on a page (opening one when none has room) and files it under its key.
static void pack_glyph(glyph_atlas *atlas, const glyph_work &work)
{
    fontatlas_glyph *glyph = (fontatlas_glyph *)SDL_calloc(1, sizeof(fontatlas_glyph));
    glyph_hash_entry *entry = glyph ? (glyph_hash_entry *)SDL_calloc(1, sizeof(glyph_hash_entry)) : nullptr;
    if (!entry) {
        SDL_free(glyph);
        return;
    }
    *glyph = fontatlas_glyph{nullptr, 0, 0, work.w, work.h, work.advance, work.left_side_bearing,
                             work.x0, work.y0, work.x1, work.y1, work.index};
    int32_t bw = work.w + 2, bh = work.h + 2;
    // A box no page can hold is refused: the glyph keeps its advance and draws nothing.
    if (bw > atlas->page_width || bh > atlas->page_height) {
        glyph->w = glyph->h = 0;
    } else {
        bool placed = false;
        for (int attempt = 0; attempt < 2 && !placed; attempt++) {
            for (atlas_page *page = atlas->pages; page && !placed; page = page->next) {
                skyline_node *start, *before = nullptr;
                int32_t y = 0;
                if (!find_spot(atlas, page, bw, bh, &start, &before, &y)) continue;
                skyline_node *node = (skyline_node *)SDL_calloc(1, sizeof(skyline_node));
                if (!node) continue;
                int32_t x = start->x;
                node->x = x;
                node->y = y + bh;
                node->width = bw;
                raise_skyline(page, node, before, start);
                if (work.w > 0 && work.h > 0) {
                    SDL_Rect box = {x + 1, y + 1, work.w, work.h};
                    SDL_UpdateTexture(page->texture, &box, work.pixels, work.w * 4);
                }
                glyph->texture = page->texture;
                glyph->x = x + 1;
                glyph->y = y + 1;
                placed = true;
            }
            if (!placed && (attempt > 0 || !new_page(atlas))) break;
        }
        if (!placed) { // no texture could be made: stay uncached, try again later
            SDL_free(glyph);
            SDL_free(entry);
            return;
        }
    }
    entry->key = work.key;
    entry->glyph = glyph;
    uint32_t b = glyph_bucket(work.key);
    entry->next = atlas->buckets[b];
    atlas->buckets[b] = entry;
}

// The font's glyph for a code point; 0 for none, and for an index past the glyph count that a
// broken cmap can give (stb_truetype would read metrics and outlines past their tables).
static int32_t glyph_index(fontatlas *font, uint32_t codepoint)
{
    if (codepoint == 0 || codepoint > 0x10FFFF) return 0;
    if (codepoint < INDEXED_CODEPOINTS && !font->indices)
        font->indices = (int32_t *)SDL_calloc(INDEXED_CODEPOINTS, sizeof(int32_t)); // null: looked up each time
    if (codepoint < INDEXED_CODEPOINTS && font->indices && font->indices[codepoint]) return font->indices[codepoint] - 1;
    int index = stbtt_FindGlyphIndex(&font->info, (int)codepoint);
    index = index > 0 && (uint32_t)index < font->tables.num_glyphs ? index : 0;
    if (codepoint < INDEXED_CODEPOINTS && font->indices) font->indices[codepoint] = index + 1;
    return index;
}

static uint32_t kerning_slot(const kerning_cache &k, uint32_t pair)
{
    uint32_t slot = (pair * 0x9E3779B1u) >> 7 & (k.capacity - 1);
    while (k.pairs[slot] != 0 && k.pairs[slot] != pair) slot = (slot + 1) & (k.capacity - 1);
    return slot;
}

// Doubles the table (from 1,024 slots); false when there is no memory for it.
static bool grow_kerning(kerning_cache &k)
{
    kerning_cache bigger = {nullptr, nullptr, k.capacity ? k.capacity * 2 : 1024, k.count};
    bigger.pairs = (uint32_t *)SDL_calloc(bigger.capacity, sizeof(uint32_t));
    bigger.values = bigger.pairs ? (int32_t *)SDL_malloc(bigger.capacity * sizeof(int32_t)) : nullptr;
    if (!bigger.values) {
        SDL_free(bigger.pairs);
        return false;
    }
    for (uint32_t i = 0; i < k.capacity; i++) {
        if (!k.pairs[i]) continue;
        uint32_t slot = kerning_slot(bigger, k.pairs[i]);
        bigger.pairs[slot] = k.pairs[i], bigger.values[slot] = k.values[i];
    }
    SDL_free(k.pairs);
    SDL_free(k.values);
    k = bigger;
    return true;
}

// stb_truetype's kerning of two valid glyph indices, in font units.
static int32_t glyph_kerning(fontatlas *font, int32_t index1, int32_t index2)
{
    kerning_cache &k = font->kerning;
    uint32_t pair = (uint32_t)index1 << 16 | (uint32_t)index2;
    if (k.count * 2 >= k.capacity && !grow_kerning(k)) return stbtt_GetGlyphKernAdvance(&font->info, index1, index2);
    uint32_t slot = kerning_slot(k, pair);
    if (k.pairs[slot] == pair) return k.values[slot];
    k.pairs[slot] = pair;
    k.values[slot] = stbtt_GetGlyphKernAdvance(&font->info, index1, index2);
    k.count++;
    return k.values[slot];
}

void fontatlas_cacheglyphs(fontatlas *font, uint32_t pixel_size, const uint32_t *codepoints, int count)
{
    if (!font || count <= 0) return;
    glyph_work *works = (glyph_work *)SDL_calloc((size_t)count, sizeof(glyph_work));
    if (!works) return;
    float scale = fontatlas_get_scale(font, pixel_size);
    int made = 0;
    for (int i = 0; i < count; i++) {
        uint32_t cp = codepoints[i];
        uint64_t key = glyph_key(cp, pixel_size);
        if (cp == 0 || find_entry(font->atlas, key)) continue;
        bool listed = false; // the same code point twice in one call is cached once
        for (int j = 0; j < made && !listed; j++) listed = works[j].key == key;
        if (listed || cp > 0x10FFFF) continue;
        int index = glyph_index(font, cp);
        if (index == 0) continue;
        int advance, lsb, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        stbtt_GetGlyphHMetrics(&font->info, index, &advance, &lsb);
        // An outline that does not fit its bytes keeps its advance and draws nothing.
        if (font_check_glyph(&font->tables, index)) stbtt_GetGlyphBitmapBox(&font->info, index, scale, scale, &x0, &y0, &x1, &y1);
        int w = x1 - x0, h = y1 - y0;
        if (w < 0 || h < 0) w = h = 0;
        uint32_t *pixels = nullptr;
        if (w > 0 && h > 0 && w + 2 <= FONTATLAS_PAGE_SIZE && h + 2 <= FONTATLAS_PAGE_SIZE) {
            uint8_t *coverage = (uint8_t *)SDL_malloc((size_t)w * (size_t)h);
            pixels = coverage ? (uint32_t *)SDL_malloc((size_t)w * (size_t)h * 4) : nullptr;
            if (!pixels) {
                SDL_free(coverage);
                continue;
            }
            stbtt_MakeGlyphBitmap(&font->info, coverage, w, h, w, scale, scale, index);
            for (int p = 0; p < w * h; p++) pixels[p] = 0x00FFFFFFu | (uint32_t)coverage[p] << 24;
            SDL_free(coverage);
        }
        works[made++] = glyph_work{w,     h,   index, key, pixels, advance * scale, lsb * scale,
                                   (float)x0, (float)y0, (float)x1, (float)y1};
    }
    // Tallest first, then widest: pages fill densely.
    std::stable_sort(works, works + made, [](const glyph_work &a, const glyph_work &b) {
        return a.h != b.h ? a.h > b.h : a.w > b.w;
    });
    for (int i = 0; i < made; i++) {
        pack_glyph(font->atlas, works[i]);
        SDL_free(works[i].pixels);
    }
    SDL_free(works);
}

const fontatlas_glyph *fontatlas_getglyph(fontatlas *font, uint32_t codepoint, uint32_t pixel_size)
{
    uint64_t key = glyph_key(codepoint, pixel_size);
    glyph_hash_entry *e = find_entry(font->atlas, key);
    if (e) return e->glyph;
    fontatlas_cacheglyphs(font, pixel_size, &codepoint, 1);
    e = find_entry(font->atlas, key);
    return e ? e->glyph : nullptr;
}

float fontatlas_get_glyph_kerning(fontatlas *font, int32_t index1, int32_t index2, float scale)
{
    if (index1 <= 0 || index2 <= 0 || (!font->info.kern && !font->info.gpos)) return 0.0f;
    if ((uint32_t)index1 >= font->tables.num_glyphs || (uint32_t)index2 >= font->tables.num_glyphs) return 0.0f;
    return (float)glyph_kerning(font, index1, index2) * scale;
}

float fontatlas_get_kerningadvance(fontatlas *font, uint32_t codepoint1, uint32_t codepoint2, float scale)
{
    if (codepoint1 == 0 || codepoint2 == 0 || (!font->info.kern && !font->info.gpos)) return 0.0f;
    return fontatlas_get_glyph_kerning(font, glyph_index(font, codepoint1), glyph_index(font, codepoint2), scale);
}

// Whole pixels: the cached glyph's advance, or the font's own when it is not cached.
static float measured_advance(fontatlas *font, uint32_t codepoint, uint32_t pixel_size, float scale, int32_t *index)
{
    *index = glyph_index(font, codepoint);
    glyph_hash_entry *e = find_entry(font->atlas, glyph_key(codepoint, pixel_size));
    if (e) return (float)(int32_t)e->glyph->advance;
    if (*index == 0) return 0.0f;
    int advance, lsb;
    stbtt_GetGlyphHMetrics(&font->info, *index, &advance, &lsb);
    return (float)(int32_t)((float)advance * scale);
}

void fontatlas_calcstringrect(fontatlas *font, const char *text, uint32_t pixel_size, float *width, float *height)
{
    float scale = fontatlas_get_scale(font, pixel_size);
    if (height) *height = scale * (font->ascent - font->descent + font->line_gap);
    if (!width) return;
    float total = 0.0f;
    uint32_t c = utf8codepoint(&text);
    while (c != 0) {
        uint32_t next = utf8codepoint(&text);
        int32_t index, next_index;
        float advance = measured_advance(font, c, pixel_size, scale, &index);
        if (next == 0) {
            total += advance;
            break;
        }
        next_index = glyph_index(font, next);
        total += advance + fontatlas_get_glyph_kerning(font, index, next_index, scale);
        c = next;
    }
    *width = total;
}

int fontatlas_page_count(fontatlas *font)
{
    int n = 0;
    for (atlas_page *p = font->atlas->pages; p; p = p->next) n++;
    return n;
}
