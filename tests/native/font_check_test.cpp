// Broken fonts: a corpus of damaged DejaVu Sans (cut short, bits flipped, table entries and
// counts set wild, outlines that nest or overrun) goes through the atlas the way the frame
// interpreter uses it, and real fonts pass every check and draw as stb_truetype draws them.
// ZINTAREL_FONT_CORPUS=N sets the number of bit-flipped fonts of each kind (default 300). The
// CFF font is drawn by tools/make_cff_font.py.
#include "base/channel.h"
#include "render/font_check.h"
#include "render/fontatlas.h"
#include "render/frame_format.h"
#include "render/render.h"
#include "support/render_fixture.h"
#include "support/test_files.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <stdlib.h>
#include <unistd.h>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_truetype.h>
#pragma GCC diagnostic pop

static const char *sans_file = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
static const char *cff_file = ZINTAREL_TEST_DATA "/cff_sample.otf";

static uint32_t get16(const std::string &f, size_t at) { return (uint8_t)f[at] << 8 | (uint8_t)f[at + 1]; }
static uint32_t get32(const std::string &f, size_t at) { return get16(f, at) << 16 | get16(f, at + 2); }
static void put16(std::string &f, size_t at, uint32_t v)
{
    if (at + 2 > f.size()) return;
    f[at] = (char)(v >> 8), f[at + 1] = (char)v;
}
static void put32(std::string &f, size_t at, uint32_t v) { put16(f, at, v >> 16), put16(f, at + 2, v & 0xFFFF); }

struct table_entry {
    std::string tag;
    size_t entry, offset, length;
};

static std::vector<table_entry> directory(const std::string &f)
{
    std::vector<table_entry> out;
    for (uint32_t i = 0; i < get16(f, 4); i++) {
        size_t e = 12 + 16 * i;
        out.push_back(table_entry{f.substr(e, 4), e, get32(f, e + 8), get32(f, e + 12)});
    }
    return out;
}

static table_entry table(const std::string &f, const char *tag)
{
    for (const table_entry &t : directory(f))
        if (t.tag == tag) return t;
    return table_entry{"", 0, 0, 0};
}

// The bytes of a glyph's outline in the glyf table.
static std::pair<size_t, size_t> glyph_bytes(const std::string &f, int glyph)
{
    size_t glyf = table(f, "glyf").offset, loca = table(f, "loca").offset;
    bool long_loca = get16(f, table(f, "head").offset + 50) != 0;
    size_t start = long_loca ? get32(f, loca + 4 * glyph) : 2 * get16(f, loca + 2 * glyph);
    size_t end = long_loca ? get32(f, loca + 4 * glyph + 4) : 2 * get16(f, loca + 2 * glyph + 2);
    return {glyf + start, glyf + end};
}

// Code points a label draws and measures: ASCII, composed Latin letters, kerning pairs.
static const std::vector<uint32_t> &drawn_codepoints()
{
    static std::vector<uint32_t> cps;
    if (cps.empty()) {
        for (uint32_t c = 32; c < 127; c++) cps.push_back(c);
        for (uint32_t c : {0xC4u, 0xC5u, 0xE9u, 0xF1u, 0x1EA0u, 0x3A9u, 0x416u, 0x2026u, 0xFB01u}) cps.push_back(c);
    }
    return cps;
}

static const char *measured_text = "AVATAR WAVE To Ty Yo LT \xc3\x84\xc3\xa9\xc3\xb1 \xe1\xba\xa0 \xef\xac\x81 \xce\xa9\xd0\x96";

struct broken_font {
    std::string name, bytes;
};

// The corpus: truncations, bit flips (fixed seed) in the whole file, in the tables
// stb_truetype reads and in the outlines of the drawn glyphs, table entries and counts set to
// zero and to huge values, outlines that refer to themselves or overrun, and files that are
// no font at all. Built from DejaVu Sans, from a copy without GPOS (whose kern table is then
// read) and from a small CFF font (cut at every length, a bit flipped in every byte).
static std::vector<broken_font> font_corpus(const std::string &sans, const std::string &cff, int flips)
{
    std::vector<broken_font> out;
    auto add = [&](const std::string &name, const std::string &bytes) { out.push_back(broken_font{name, bytes}); };
    std::string kern_only = sans;
    kern_only.replace(table(sans, "GPOS").entry, 4, "GPOX");
    stbtt_fontinfo info;
    stbtt_InitFont(&info, (const unsigned char *)sans.data(), 0);
    std::vector<std::pair<size_t, size_t>> outlines;
    for (uint32_t cp : drawn_codepoints()) outlines.push_back(glyph_bytes(sans, stbtt_FindGlyphIndex(&info, (int)cp)));
    std::mt19937 random(18);
    auto below = [&](size_t n) { return n ? (size_t)(random() % n) : 0; };
    for (size_t n = 0; n < cff.size(); n++) {
        add("cff cut at " + std::to_string(n), cff.substr(0, n));
        std::string f = cff;
        f[n] = (char)(f[n] ^ (1 << below(8)));
        add("cff bit flipped at " + std::to_string(n), f);
    }

    for (const std::string *base : {(const std::string *)&sans, (const std::string *)&kern_only}) {
        std::string kind = base == &sans ? "sans" : "kern";
        std::vector<size_t> lengths = {1, 4, 7, 11, 12, 13, 27, 28, 100, 4096};
        for (double n = 64; n < base->size(); n *= 1.19) lengths.push_back((size_t)n);
        for (const table_entry &t : directory(*base))
            for (size_t at : {t.offset, t.offset + 1, t.offset + t.length / 2, t.offset + t.length - 1})
                if (at < base->size()) lengths.push_back(at);
        for (size_t n : lengths) add(kind + " cut at " + std::to_string(n), base->substr(0, n));

        std::vector<std::pair<size_t, size_t>> read_tables = {{0, 12 + 16 * directory(*base).size()}};
        for (const char *tag : {"cmap", "head", "hhea", "hmtx", "maxp", "loca", "GPOS", "kern"}) {
            table_entry t = table(*base, tag);
            if (t.length) read_tables.push_back({t.offset, t.offset + t.length});
        }
        for (int i = 0; i < flips; i++) {
            std::string f = *base;
            std::pair<size_t, size_t> region = {0, f.size()};
            if (i % 4 == 1) region = read_tables[below(read_tables.size())];
            if (i % 4 >= 2) region = outlines[below(outlines.size())];
            std::string where;
            for (int bit = 0; bit < 1 + i % 3 && region.second > region.first; bit++) {
                size_t at = region.first + below(region.second - region.first);
                f[at] = (char)(f[at] ^ (1 << below(8)));
                where += " " + std::to_string(at);
            }
            add(kind + " bits flipped at" + where, f);
        }

        for (const table_entry &t : directory(*base)) {
            if (!strstr("cmap head hhea hmtx maxp glyf loca GPOS kern name", t.tag.c_str())) continue;
            for (uint32_t v : {0u, 1u, (uint32_t)base->size(), (uint32_t)base->size() - 1, 0x7FFFFFFFu, 0xFFFFFFFFu})
                for (size_t field : {8, 12}) {
                    std::string f = *base;
                    put32(f, t.entry + field, v);
                    add(kind + " " + t.tag + (field == 8 ? " offset " : " length ") + std::to_string(v), f);
                }
        }
    }

    // Counts and fields the readers trust, each set to 0, 1, a middle value and the largest.
    size_t cmap = table(sans, "cmap").offset, maxp = table(sans, "maxp").offset, gpos = table(sans, "GPOS").offset;
    size_t hhea = table(sans, "hhea").offset, head = table(sans, "head").offset, kern = table(kern_only, "kern").offset;
    size_t unicode = cmap + get32(sans, cmap + 4 + 8 * (get16(sans, cmap + 2) - 1) + 4);
    struct field {
        const char *what;
        const std::string *base;
        size_t at;
        int bytes;
    };
    std::vector<field> fields = {
        {"numTables", &sans, 4, 2}, {"cmap records", &sans, cmap + 2, 2}, {"cmap offset", &sans, cmap + 8, 4},
        {"cmap last offset", &sans, cmap + 4 + 8 * (get16(sans, cmap + 2) - 1) + 4, 4},
        {"subtable format", &sans, unicode, 2}, {"subtable length", &sans, unicode + 2, 2},
        {"segCountX2", &sans, unicode + 6, 2}, {"searchRange", &sans, unicode + 8, 2},
        {"entrySelector", &sans, unicode + 10, 2}, {"rangeShift", &sans, unicode + 12, 2},
        {"numGroups", &sans, unicode + 12, 4}, {"numGlyphs", &sans, maxp + 4, 2},
        {"numberOfHMetrics", &sans, hhea + 34, 2}, {"ascender", &sans, hhea + 4, 2},
        {"indexToLocFormat", &sans, head + 50, 2}, {"GPOS lookup list", &sans, gpos + 8, 2},
        {"GPOS lookups", &sans, gpos + get16(sans, gpos + 8), 2},
        {"GPOS first lookup", &sans, gpos + get16(sans, gpos + 8) + 2, 2}, {"kern tables", &kern_only, kern + 2, 2},
        {"kern coverage", &kern_only, kern + 8, 2}, {"kern pairs", &kern_only, kern + 10, 2},
    };
    for (const field &fd : fields)
        for (uint32_t v : {0u, 1u, 2u, 0x1234u, 0x7FFFu, 0x8000u, 0xFFFFu, 0xFFFFFFFFu}) {
            std::string f = *fd.base;
            if (fd.bytes == 2) put16(f, fd.at, v & 0xFFFF);
            else put32(f, fd.at, v);
            add(std::string(fd.what) + " " + std::to_string(v), f);
        }
    // Every subtable of every pair-adjustment lookup: its coverage and pair set offsets wild.
    size_t list = gpos + get16(sans, gpos + 8);
    for (uint32_t i = 0; i < get16(sans, list); i++) {
        size_t lookup = list + get16(sans, list + 2 + 2 * i);
        if (get16(sans, lookup) != 2) continue;
        for (uint32_t k = 0; k < get16(sans, lookup + 4); k++) {
            size_t sub = lookup + get16(sans, lookup + 6 + 2 * k);
            for (size_t at : {sub + 2, sub + 8, sub + 10, sub + 12, sub + 14, sub + get16(sans, sub + 2) + 2})
                for (uint32_t v : {0u, 0x7FFFu, 0xFFFFu}) {
                    std::string f = sans;
                    put16(f, at, v);
                    add("GPOS lookup " + std::to_string(i) + " field at " + std::to_string(at), f);
                }
        }
    }

    // Outlines of the drawn glyphs: composites that contain themselves or a long chain, contour
    // ends past the points, and flags whose repeats run past the data.
    uint32_t glyphs = get16(sans, maxp + 4);
    std::string self = sans, chain = sans, ends = sans, repeats = sans;
    std::vector<uint32_t> composites;
    for (uint32_t g = 1; g < glyphs; g++) {
        std::pair<size_t, size_t> b = glyph_bytes(sans, (int)g);
        if (b.second - b.first < 10) continue;
        int16_t contours = (int16_t)get16(sans, b.first);
        if (contours < 0) {
            put16(self, b.first + 12, g);
            if (!composites.empty()) put16(chain, b.first + 12, composites.back());
            composites.push_back(g);
        } else if (contours > 0) {
            put16(ends, b.first + 10 + 2 * (contours - 1), 0xFFFF);
            size_t flags = b.first + 10 + 2 * contours + 2 + get16(sans, b.first + 10 + 2 * contours);
            repeats[flags] = (char)(repeats[flags] | 8);
        }
    }
    add("composites containing themselves", self);
    add("composites in one chain", chain);
    add("contour ends past the points", ends);
    add("flags repeated past the data", repeats);

    std::string magic = sans;
    for (const char *m : {"OTTO", "true", "typ1", "ttcf", "wOFF", "\x89PNG"}) {
        magic.replace(0, 4, m);
        add(std::string("magic ") + m, magic);
    }
    add("empty", "");
    add("12-byte header", sans.substr(0, 12));
    uint32_t pixels[64];
    for (int i = 0; i < 64; i++) pixels[i] = 0xFF000000u | (uint32_t)i * 0x030201u;
    size_t size = 0;
    uint8_t *png = encode_png(pixels, 8, 8, 0, 0, &size);
    add("PNG renamed", std::string((const char *)png, size));
    SDL_free(png);
    return out;
}

// The game file the corpus passes through: each font is written over the last one in 4 KB
// blocks, only where they differ (thousands of variants of one 760 KB file).
struct corpus_file {
    std::string path, held;

    void put(const std::string &bytes)
    {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        for (size_t at = 0; at < bytes.size(); at += 4096) {
            size_t n = std::min<size_t>(4096, bytes.size() - at);
            if (at + n <= held.size() && memcmp(held.data() + at, bytes.data() + at, n) == 0) continue;
            ASSERT_EQ((ssize_t)n, pwrite(fd, bytes.data() + at, n, (off_t)at));
        }
        ASSERT_EQ(0, ftruncate(fd, (off_t)bytes.size()));
        close(fd);
        held = bytes;
    }
};

// Loads the file through the atlas and, when it loads, measures, draws and kerns with it.
// Answers whether it loaded.
static bool use_font(SDL_Renderer *renderer, corpus_file &file, const std::string &bytes)
{
    file.put(bytes);
    fontatlas *font = fontatlas_new(renderer, "broken.ttf");
    if (!font) return false;
    float width = 0, height = 0;
    fontatlas_calcstringrect(font, measured_text, 22, &width, &height);
    const std::vector<uint32_t> &cps = drawn_codepoints();
    fontatlas_cacheglyphs(font, 22, cps.data(), (int)cps.size());
    for (uint32_t cp : {0x41u, 0x57u, 0xC4u, 0x1EA0u}) fontatlas_getglyph(font, cp, 90);
    float scale = fontatlas_get_scale(font, 22);
    for (const char *pair : {"AV", "To", "Ty", "LT", "Yo", "WA"}) fontatlas_get_kerningadvance(font, pair[0], pair[1], scale);
    fontatlas_calcstringrect(font, measured_text, 22, &width, &height);
    fontatlas_delete(font);
    return true;
}

class FontCheck : public HostTest {
  protected:
    SDL_Surface *surface = nullptr;
    SDL_Renderer *renderer = nullptr; // software, drawing into the surface

    void SetUp() override
    {
        HostTest::SetUp();
        surface = SDL_CreateRGBSurfaceWithFormat(0, 512, 512, 32, SDL_PIXELFORMAT_ARGB8888);
        ASSERT_TRUE(surface);
        renderer = SDL_CreateSoftwareRenderer(surface);
        ASSERT_TRUE(renderer) << SDL_GetError();
    }

    void TearDown() override
    {
        if (renderer) SDL_DestroyRenderer(renderer);
        if (surface) SDL_FreeSurface(surface);
        HostTest::TearDown();
    }
};

TEST_F(FontCheck, EveryBrokenFontOfTheCorpusIsRefusedOrDrawsWithoutFault)
{
    std::string sans = read_file(sans_file);
    ASSERT_GT(sans.size(), 700000u);
    const char *wanted = getenv("ZINTAREL_FONT_CORPUS");
    std::vector<broken_font> corpus = font_corpus(sans, read_file(cff_file), wanted ? atoi(wanted) : 300);
    corpus_file file = {fx.game_dir + "/broken.ttf", ""};
    int loaded = 0;
    for (const broken_font &f : corpus) {
        SCOPED_TRACE(f.name);
        loaded += use_font(renderer, file, f.bytes);
    }
    printf("%zu broken fonts: %zu refused, %d loaded and drawn\n", corpus.size(), corpus.size() - loaded, loaded);
    // No font at all, or too short to hold its tables: refused outright.
    for (const char *name : {"empty", "12-byte header", "PNG renamed", "magic ttcf", "magic \x89PNG", "sans cut at 4096"})
        for (const broken_font &f : corpus) {
            if (f.name == name) {
                EXPECT_FALSE(use_font(renderer, file, f.bytes)) << name;
            }
        }
    EXPECT_TRUE(use_font(renderer, file, sans));
    EXPECT_TRUE(use_font(renderer, file, read_file(cff_file)));
}

// The font with one table moved to the end of the file and given `length` bytes (its own,
// then zeros), the file ending where the table does.
static std::string with_table_last(const std::string &font, const char *tag, size_t length)
{
    table_entry t = table(font, tag);
    std::string f = font;
    f.resize((f.size() + 3) & ~(size_t)3, '\0');
    size_t at = f.size();
    std::string bytes = font.substr(t.offset, std::min(length, t.length));
    bytes.resize(length, '\0');
    f += bytes;
    put32(f, t.entry + 8, (uint32_t)at);
    put32(f, t.entry + 12, (uint32_t)length);
    return f;
}

// hmtx holds a 4-byte metric for each of hhea's long metrics and 2 bytes for every glyph
// past them; loca holds one entry more than there are glyphs. A table ending exactly there
// (at the end of the file) loads and draws; one entry shorter is refused.
TEST_F(FontCheck, TablesEndingWhereTheirCountsSayLoadAndOneEntryShortAreRefused)
{
    std::string sans = read_file(sans_file);
    size_t hhea = table(sans, "hhea").offset;
    uint32_t glyphs = get16(sans, table(sans, "maxp").offset + 4), own = get16(sans, hhea + 34);
    ASSERT_LT(own, glyphs) << "the font has short metrics";
    ASSERT_EQ(1u, get16(sans, table(sans, "head").offset + 50)) << "the font's loca has 4-byte entries";
    auto hmtx = [&](uint32_t long_metrics) { return 4 * (size_t)long_metrics + 2 * (size_t)(glyphs - long_metrics); };
    size_t loca = 4 * ((size_t)glyphs + 1);
    struct {
        const char *what;
        uint32_t long_metrics;
        const char *tag;
        size_t length;
        bool loads;
    } cases[] = {
        {"hmtx whole", own, "hmtx", hmtx(own), true},
        {"hmtx a short metric short", own, "hmtx", hmtx(own) - 2, false},
        {"hmtx of one long metric, whole", 1, "hmtx", hmtx(1), true},
        {"hmtx of one long metric, a short metric short", 1, "hmtx", hmtx(1) - 2, false},
        {"hmtx of long metrics only, whole", glyphs, "hmtx", hmtx(glyphs), true},
        {"hmtx of long metrics only, a metric short", glyphs, "hmtx", hmtx(glyphs) - 4, false},
        {"loca whole", own, "loca", loca, true},
        {"loca an entry short", own, "loca", loca - 4, false},
        {"loca a byte short", own, "loca", loca - 1, false},
    };
    corpus_file file = {fx.game_dir + "/broken.ttf", ""};
    for (const auto &c : cases) {
        std::string f = sans;
        put16(f, hhea + 34, c.long_metrics);
        f = with_table_last(f, c.tag, c.length);
        font_tables tables;
        EXPECT_EQ(c.loads, font_check_file((const uint8_t *)f.data(), f.size(), &tables) == 1) << c.what;
        EXPECT_EQ(c.loads, use_font(renderer, file, f)) << c.what;
    }
}

TEST_F(FontCheck, RealFontsPassEveryCheckAndDrawAsStbTruetypeDrawsThem)
{
    std::vector<std::string> files = {cff_file};
    const char *folder = "/usr/share/fonts/truetype/dejavu";
    if (DIR *dir = opendir(folder)) {
        while (dirent *e = readdir(dir))
            if (strstr(e->d_name, ".ttf")) files.push_back(std::string(folder) + "/" + e->d_name);
        closedir(dir);
    }
    ASSERT_GE(files.size(), 4u) << "the DejaVu fonts are installed by scripts/install-deps.sh";
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        std::string bytes = read_file(file);
        font_tables tables;
        ASSERT_TRUE(font_check_file((const uint8_t *)bytes.data(), bytes.size(), &tables));
        for (uint32_t g = 0; g < tables.num_glyphs; g++) ASSERT_TRUE(font_check_glyph(&tables, (int32_t)g)) << g;
        EXPECT_FALSE(font_check_glyph(&tables, (int32_t)tables.num_glyphs));
        EXPECT_FALSE(font_check_glyph(&tables, -1));

        // The atlas's glyph pixels against stb_truetype's own bitmap of the same glyph.
        stbtt_fontinfo info;
        ASSERT_TRUE(stbtt_InitFont(&info, (const unsigned char *)bytes.data(), 0));
        write_file(fx.game_dir + "/real.ttf", bytes);
        fontatlas *font = fontatlas_new(renderer, "real.ttf");
        ASSERT_TRUE(font) << SDL_GetError();
        for (uint32_t px : {22u, 61u})
            for (uint32_t cp : drawn_codepoints()) {
                int index = stbtt_FindGlyphIndex(&info, (int)cp);
                const fontatlas_glyph *g = fontatlas_getglyph(font, cp, px);
                ASSERT_EQ(index == 0, g == nullptr) << cp;
                if (!g) continue;
                float scale = fontatlas_get_scale(font, px);
                int x0, y0, x1, y1;
                stbtt_GetGlyphBitmapBox(&info, index, scale, scale, &x0, &y0, &x1, &y1);
                ASSERT_EQ(std::max(0, x1 - x0), g->w) << cp;
                ASSERT_EQ(std::max(0, y1 - y0), g->h) << cp;
                if (g->w == 0 || g->h == 0) continue;
                std::vector<uint8_t> expected((size_t)g->w * g->h);
                stbtt_MakeGlyphBitmap(&info, expected.data(), g->w, g->h, g->w, scale, scale, index);
                SDL_Rect src = {g->x, g->y, g->w, g->h};
                SDL_SetTextureBlendMode(g->texture, SDL_BLENDMODE_NONE);
                SDL_RenderCopy(renderer, g->texture, &src, &src);
                SDL_SetTextureBlendMode(g->texture, SDL_BLENDMODE_BLEND);
                std::vector<uint32_t> got((size_t)g->w * g->h);
                SDL_RenderReadPixels(renderer, &src, SDL_PIXELFORMAT_ARGB8888, got.data(), g->w * 4);
                for (size_t p = 0; p < got.size(); p++) ASSERT_EQ(expected[p], got[p] >> 24) << cp << " at " << p;
            }
        // Every pair of 62 letters and digits (more pairs than the atlas first keeps), asked
        // twice: the second answers come from what the first kept.
        const char letters[] = "AVWTYLPFKXOoeaycvwxyrt.,-0123456789bdfghijklmnpqsuzBCDEGHIJMNQRSUZ";
        for (int round = 0; round < 2; round++)
            for (const char *a = letters; *a; a++)
                for (const char *b = letters; *b; b++)
                    ASSERT_EQ((float)stbtt_GetCodepointKernAdvance(&info, *a, *b) * 0.5f,
                              fontatlas_get_kerningadvance(font, (uint8_t)*a, (uint8_t)*b, 0.5f))
                        << *a << *b << " round " << round;
        fontatlas_delete(font);
    }
}

// A render context with its window (the dummy driver's software renderer, or a real window)
// and DejaVu Sans as the default font.
class FontRender : public RenderFixture {
  protected:
    void SetUp() override
    {
        RenderFixture::SetUp();
        ASSERT_TRUE(open()) << SDL_GetError();
    }

    // The window's pixels after a frame holding one label in the given font.
    std::vector<uint32_t> label_pixels(frame_string font)
    {
        threadstream *s = threadstream_allocate();
        frame_write_grid(s, frame_grid{0, 720, -1});
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, frame_pass_header{0, 0, 0, 255, {nullptr, 0}, 0, 0, 0});
        frame_write_label(s, frame_label{10, 700, frame_cstring("WAVE 0123"), font, 10, 0, 255, 255, 255, 255});
        frame_write_u32(s, DRAW_END_PASS);
        draw_process_frame(ctx, s, 0, 0);
        threadstream_free(s);
        std::vector<uint32_t> px(400 * 80);
        SDL_Rect box = {0, 0, 400, 80};
        SDL_RenderReadPixels(ctx->renderer, &box, SDL_PIXELFORMAT_ABGR8888, px.data(), 400 * 4);
        return px;
    }
};

TEST_F(FontRender, AFontPathWithANulNamesNoFileAndTheLabelDrawsInTheDefaultFont)
{
    write_file(fx.game_dir + "/fonts/f.ttf", read_file("/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"));
    static const char nul_path[] = "fonts/f.ttf\0zzz";
    std::vector<uint32_t> plain = label_pixels(frame_string{nullptr, 0});
    std::vector<uint32_t> serif = label_pixels(frame_cstring("fonts/f.ttf"));
    std::vector<uint32_t> nul = label_pixels(frame_string{nul_path, sizeof nul_path - 1});
    EXPECT_NE(plain, serif);
    EXPECT_TRUE(std::any_of(plain.begin(), plain.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; }));
    EXPECT_EQ(plain, nul);
}

TEST_F(FontRender, ARefusedFontFallsBackToTheDefaultAndIsNotReadAgain)
{
    std::string broken = read_file(sans_file);
    put16(broken, 4, 0xFFFF); // a table directory longer than the file
    ASSERT_TRUE(write_file(fx.game_dir + "/fonts/b.ttf", broken));
    SDL_ClearError();
    EXPECT_EQ(ctx->default_font, lookup_font(ctx, "fonts/b.ttf"));
    EXPECT_STREQ("Font 'fonts/b.ttf' is bogus or corrupt", SDL_GetError());
    SDL_ClearError();
    EXPECT_EQ(ctx->default_font, lookup_font(ctx, "fonts/b.ttf"));
    EXPECT_STREQ("", SDL_GetError()) << "not read again";
}
