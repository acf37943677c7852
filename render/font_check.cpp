#include "render/font_check.h"

#include <string.h>
#include <vector>

// Each check reads what stb_truetype reads, the way it reads it (the first directory entry of
// a tag, the last cmap record it understands, 32-bit sums where it makes them), so a font that
// passes is one whose every later read lands inside the file.

namespace {
// A byte range of the file; a table stb_truetype treats as absent has begin 0.
struct span {
    uint64_t begin, end;
};

// Outline work one glyph may ask of the rasteriser, composites included.
struct outline_budget {
    uint32_t points, components;
};
} // namespace

#define MAX_OUTLINE_POINTS (1u << 20)
#define MAX_OUTLINE_COMPONENTS 4096u

static uint32_t u16(const uint8_t *d, uint64_t at) { return (uint32_t)d[at] << 8 | d[at + 1]; }
static uint32_t u32(const uint8_t *d, uint64_t at) { return u16(d, at) << 16 | u16(d, at + 2); }
static int32_t s16(const uint8_t *d, uint64_t at) { return (int16_t)u16(d, at); }

// [at, at + size) inside the range.
static bool within(span s, uint64_t at, uint64_t size) { return at >= s.begin && at <= s.end && size <= s.end - at; }

static uint32_t tag(const char *t) { return (uint32_t)(uint8_t)t[0] << 24 | (uint32_t)(uint8_t)t[1] << 16 | (uint32_t)(uint8_t)t[2] << 8 | (uint8_t)t[3]; }

// The first directory entry with the tag (stb_truetype's choice); begin 0 when there is none.
static span find_table(const uint8_t *d, uint32_t tables, const char *name)
{
    for (uint32_t i = 0; i < tables; i++) {
        uint64_t entry = 12 + 16ull * i;
        if (u32(d, entry) == tag(name)) {
            uint64_t offset = u32(d, entry + 8);
            return span{offset, offset + u32(d, entry + 12)};
        }
    }
    return span{0, 0};
}

// Format 4: the segment search trusts the header's search fields; every segment it can land
// on must be readable, with its glyph array when the segment has one.
static bool check_cmap_segments(const uint8_t *d, span sub)
{
    if (!within(sub, sub.begin, 14)) return false;
    uint64_t segments = u16(d, sub.begin + 6) >> 1;
    uint32_t range = u16(d, sub.begin + 8) >> 1, selector = u16(d, sub.begin + 10);
    uint64_t last_item = u16(d, sub.begin + 12) >> 1;
    for (uint32_t k = 0; k < selector && range; k++) {
        range >>= 1;
        last_item += range;
    }
    uint64_t offsets = sub.begin + 16 + segments * 6;
    if (!within(sub, offsets, 2 * last_item + 2)) return false;
    for (uint64_t item = 0; item <= last_item; item++) {
        uint64_t at = offsets + 2 * item;
        uint32_t offset = u16(d, at), start = u16(d, sub.begin + 16 + segments * 2 + 2 * item);
        uint32_t last = u16(d, sub.begin + 14 + 2 * item);
        if (offset != 0 && last >= start && !within(sub, at + offset, 2ull * (last - start) + 2)) return false;
    }
    return true;
}

// The subtable stb_truetype maps code points with: the last Unicode record, in a format it reads.
static bool check_cmap(const uint8_t *d, span cmap)
{
    if (!within(cmap, cmap.begin, 4)) return false;
    uint32_t records = u16(d, cmap.begin + 2);
    if (!within(cmap, cmap.begin + 4, 8ull * records)) return false;
    uint32_t chosen = 0;
    for (uint32_t i = 0; i < records; i++) {
        uint64_t record = cmap.begin + 4 + 8ull * i;
        uint32_t platform = u16(d, record), encoding = u16(d, record + 2);
        if (platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10)))
            chosen = (uint32_t)cmap.begin + u32(d, record + 4); // wraps as stb_truetype's sum does
    }
    span sub = {chosen, cmap.end};
    if (chosen == 0 || !within(cmap, sub.begin, 2)) return false;
    switch (u16(d, sub.begin)) {
    case 0: {
        if (!within(sub, sub.begin, 4)) return false;
        uint32_t bytes = u16(d, sub.begin + 2);
        return bytes <= 6 || within(sub, sub.begin, bytes);
    }
    case 4: return check_cmap_segments(d, sub);
    case 6: return within(sub, sub.begin, 10) && within(sub, sub.begin + 10, 2ull * u16(d, sub.begin + 8));
    case 12:
    case 13: return within(sub, sub.begin, 16) && within(sub, sub.begin + 16, 12ull * u32(d, sub.begin + 12));
    default: return false; // stb_truetype maps nothing through it
    }
}

// The highest coverage index a coverage table can give (-1: none), or -2 when it does not fit.
static int64_t coverage_last_index(const uint8_t *d, span gpos, uint64_t at)
{
    if (!within(gpos, at, 2)) return -2;
    uint32_t format = u16(d, at);
    if (format != 1 && format != 2) return -1; // a format it does not read covers nothing
    if (!within(gpos, at, 4)) return -2;
    uint32_t count = u16(d, at + 2);
    if (format == 1) return within(gpos, at + 4, 2ull * count) ? (int64_t)count - 1 : -2;
    if (!within(gpos, at + 4, 6ull * count)) return -2;
    int64_t last = -1;
    for (uint32_t i = 0; i < count; i++) {
        uint64_t range = at + 4 + 6ull * i;
        uint32_t first = u16(d, range), end = u16(d, range + 2), index = u16(d, range + 4);
        if (end >= first && (int64_t)(index + end - first) > last) last = index + end - first;
    }
    return last;
}

static bool check_class_def(const uint8_t *d, span gpos, uint64_t at)
{
    if (!within(gpos, at, 2)) return false;
    switch (u16(d, at)) {
    case 1: return within(gpos, at, 6) && within(gpos, at + 6, 2ull * u16(d, at + 4));
    case 2: return within(gpos, at, 4) && within(gpos, at + 4, 6ull * u16(d, at + 2));
    default: return true; // read as no class
    }
}

// A pair adjustment subtable as stb_truetype's kerning reads it: coverage first, then the pair
// sets (format 1) or the class matrix (format 2), for horizontal advances only.
static bool check_pair_subtable(const uint8_t *d, span gpos, uint64_t at)
{
    if (!within(gpos, at, 4)) return false;
    int64_t last_index = coverage_last_index(d, gpos, at + u16(d, at + 2));
    if (last_index == -2) return false;
    if (last_index < 0) return true; // never gets past the coverage
    uint32_t format = u16(d, at);
    if (format != 1 && format != 2) return true;
    if (!within(gpos, at, 8)) return false;
    if (u16(d, at + 4) != 4 || u16(d, at + 6) != 0) return true;
    if (format == 1) {
        if (!within(gpos, at + 8, 2 + 2 * (uint64_t)last_index + 2)) return false;
        uint32_t pair_sets = u16(d, at + 8);
        for (int64_t i = 0; i <= last_index; i++) {
            uint64_t set = at + u16(d, at + 10 + 2 * (uint64_t)i);
            if (!within(gpos, set, 2)) return false;
            if (i < pair_sets && !within(gpos, set + 2, 4ull * u16(d, set))) return false;
        }
        return true;
    }
    if (!within(gpos, at, 16)) return false;
    if (!check_class_def(d, gpos, at + u16(d, at + 8)) || !check_class_def(d, gpos, at + u16(d, at + 10))) return false;
    return within(gpos, at + 16, 2ull * u16(d, at + 12) * u16(d, at + 14));
}

static bool check_gpos(const uint8_t *d, span gpos)
{
    if (!within(gpos, gpos.begin, 4)) return false;
    if (u16(d, gpos.begin) != 1 || u16(d, gpos.begin + 2) != 0) return true; // a version it skips
    if (!within(gpos, gpos.begin, 10)) return false;
    uint64_t list = gpos.begin + u16(d, gpos.begin + 8);
    if (!within(gpos, list, 2)) return false;
    uint32_t lookups = u16(d, list);
    if (!within(gpos, list + 2, 2ull * lookups)) return false;
    for (uint32_t i = 0; i < lookups; i++) {
        uint64_t lookup = list + u16(d, list + 2 + 2ull * i);
        if (!within(gpos, lookup, 6)) return false;
        if (u16(d, lookup) != 2) continue; // only pair adjustments are read
        uint32_t subtables = u16(d, lookup + 4);
        if (!within(gpos, lookup + 6, 2ull * subtables)) return false;
        for (uint32_t k = 0; k < subtables; k++)
            if (!check_pair_subtable(d, gpos, lookup + u16(d, lookup + 6 + 2ull * k))) return false;
    }
    return true;
}

// The first kerning subtable, read when the font has no GPOS: horizontal format 0 pairs.
static bool check_kern(const uint8_t *d, span kern)
{
    if (!within(kern, kern.begin, 4)) return false;
    if (u16(d, kern.begin + 2) < 1) return true;
    if (!within(kern, kern.begin, 10)) return false;
    if (u16(d, kern.begin + 8) != 1) return true;
    return within(kern, kern.begin, 12) && within(kern, kern.begin + 18, 6ull * u16(d, kern.begin + 10));
}

// CFF: an INDEX at `at` lies inside the table with every offset; *end is where it stops.
static bool cff_index(const uint8_t *d, span cff, uint64_t at, uint64_t *end, uint32_t *count_out = nullptr)
{
    if (!within(cff, at, 2)) return false;
    uint32_t count = u16(d, at);
    if (count_out) *count_out = count;
    if (count == 0) {
        *end = at + 2;
        return true;
    }
    if (!within(cff, at + 2, 1)) return false;
    uint32_t size = d[at + 2];
    if (size < 1 || size > 4 || !within(cff, at + 3, (uint64_t)size * (count + 1))) return false;
    uint64_t base = at + 2 + (uint64_t)size * (count + 1), last = 0;
    for (uint32_t i = 0; i <= count; i++) {
        uint64_t offset = 0;
        for (uint32_t b = 0; b < size; b++) offset = offset << 8 | d[at + 3 + (uint64_t)size * i + b];
        if (offset > cff.end - base) return false;
        last = offset;
    }
    *end = base + last;
    return true;
}

// CFF: the INDEX entry's bytes, as stb_truetype finds them.
static span cff_index_entry(const uint8_t *d, uint64_t at, uint32_t i)
{
    uint32_t size = d[at + 2], count = u16(d, at);
    uint64_t base = at + 2 + (uint64_t)size * (count + 1), first = 0, next = 0;
    for (uint32_t b = 0; b < size; b++) {
        first = first << 8 | d[at + 3 + (uint64_t)size * i + b];
        next = next << 8 | d[at + 3 + (uint64_t)size * (i + 1) + b];
    }
    return next >= first ? span{base + first, base + next} : span{base, base};
}

// CFF: one integer operand at *p inside the dictionary, read as stb_truetype reads it.
static uint32_t cff_int(const uint8_t *d, span dict, uint64_t *p)
{
    auto byte = [&]() -> uint32_t { return *p < dict.end ? d[(*p)++] : 0; };
    uint32_t b0 = byte();
    if (b0 >= 32 && b0 <= 246) return b0 - 139;
    if (b0 >= 247 && b0 <= 250) return (b0 - 247) * 256 + byte() + 108;
    if (b0 >= 251 && b0 <= 254) return (uint32_t)(-(int32_t)(b0 - 251) * 256 - (int32_t)byte() - 108);
    if (b0 == 28) return byte() << 8 | byte();
    if (b0 == 29) {
        uint32_t v = byte() << 24;
        v |= byte() << 16;
        v |= byte() << 8;
        return v | byte();
    }
    return 0;
}

// CFF: the first `count` operands of the dictionary's entry for `key` (out left as it was
// where missing).
static void cff_dict_ints(const uint8_t *d, span dict, uint32_t key, int count, uint32_t *out)
{
    uint64_t p = dict.begin;
    while (p < dict.end) {
        uint64_t start = p;
        while (p < dict.end && d[p] >= 28) {
            if (d[p] == 30) { // a real number: nibbles up to the end marker
                for (p++; p < dict.end;) {
                    uint32_t v = d[p++];
                    if ((v & 0xF) == 0xF || (v >> 4) == 0xF) break;
                }
            } else {
                cff_int(d, dict, &p);
            }
        }
        span operands = {start, p};
        uint32_t op = p < dict.end ? d[p++] : 0;
        if (op == 12) op = (p < dict.end ? d[p++] : 0) | 0x100;
        if (op == key) {
            uint64_t q = operands.begin;
            for (int i = 0; i < count && q < operands.end; i++) out[i] = cff_int(d, operands, &q);
            return;
        }
    }
}

// CFF: a Private dictionary and its local subroutines, named by a top or font dictionary.
static bool cff_private(const uint8_t *d, span cff, span dict)
{
    uint32_t location[2] = {0, 0};
    cff_dict_ints(d, dict, 18, 2, location);
    if (!location[0] || !location[1]) return true;
    if (!within(cff, cff.begin + location[1], location[0])) return false;
    uint32_t subrs = 0;
    cff_dict_ints(d, span{cff.begin + location[1], cff.begin + location[1] + location[0]}, 19, 1, &subrs);
    uint64_t end;
    return !subrs || cff_index(d, cff, cff.begin + location[1] + subrs, &end);
}

// What stb_truetype's set-up reads of a CFF table, and the glyph data it reads later.
static bool check_cff(const uint8_t *d, span cff, uint32_t glyphs)
{
    if (!within(cff, cff.begin, 3)) return false;
    // The header, then the Name, Top DICT, String and global Subr INDEXes one after another.
    uint64_t top_index, string_index, subr_index, end;
    uint32_t tops;
    if (!cff_index(d, cff, cff.begin + d[cff.begin + 2], &top_index) || !cff_index(d, cff, top_index, &string_index, &tops) ||
        !cff_index(d, cff, string_index, &subr_index) || !cff_index(d, cff, subr_index, &end) || tops == 0)
        return false;
    span top_dict = cff_index_entry(d, top_index, 0);
    uint32_t charstrings = 0, type = 2, font_dicts = 0, select = 0;
    cff_dict_ints(d, top_dict, 17, 1, &charstrings);
    cff_dict_ints(d, top_dict, 0x106, 1, &type);
    cff_dict_ints(d, top_dict, 0x124, 1, &font_dicts);
    cff_dict_ints(d, top_dict, 0x125, 1, &select);
    if (!cff_private(d, cff, top_dict)) return false;
    if (type != 2 || charstrings == 0) return true; // refused by stb_truetype itself
    uint32_t count;
    // Glyphs past the CharStrings count would be read from their neighbours' bytes.
    if (!cff_index(d, cff, cff.begin + charstrings, &end, &count) || count < glyphs) return false;
    if (!font_dicts || !select) return true;
    uint32_t dicts;
    if (!cff_index(d, cff, cff.begin + font_dicts, &end, &dicts)) return false;
    for (uint32_t i = 0; i < dicts; i++)
        if (!cff_private(d, cff, cff_index_entry(d, cff.begin + font_dicts, i))) return false;
    // FDSelect names a font dictionary per glyph: each must exist.
    uint64_t at = cff.begin + select;
    if (!within(cff, at, 1)) return false;
    if (d[at] == 0) {
        if (!within(cff, at + 1, glyphs)) return false;
        for (uint32_t g = 0; g < glyphs; g++)
            if (d[at + 1 + g] >= dicts) return false;
    } else if (d[at] == 3) {
        if (!within(cff, at + 1, 2)) return false;
        uint32_t ranges = u16(d, at + 1);
        if (!within(cff, at + 5, 3ull * ranges)) return false;
        for (uint32_t r = 0; r < ranges; r++)
            if (d[at + 5 + 3ull * r] >= dicts) return false;
    }
    return true;
}

int font_check_file(const uint8_t *data, size_t length, font_tables *t)
{
    memset(t, 0, sizeof *t);
    // stb_truetype keeps offsets in ints and CFF buffers under 1 GiB.
    if (!data || length < 12 || length >= (1u << 30)) return 0;
    uint32_t version = u32(data, 0);
    if (version != 0x00010000 && version != tag("true") && version != tag("OTTO")) return 0;
    span file = {0, length};
    uint32_t tables = u16(data, 4);
    if (!within(file, 12, 16ull * tables)) return 0;
    for (uint32_t i = 0; i < tables; i++)
        if (!within(file, u32(data, 12 + 16ull * i + 8), u32(data, 12 + 16ull * i + 12))) return 0;
    span cmap = find_table(data, tables, "cmap"), head = find_table(data, tables, "head");
    span hhea = find_table(data, tables, "hhea"), hmtx = find_table(data, tables, "hmtx");
    span maxp = find_table(data, tables, "maxp"), glyf = find_table(data, tables, "glyf");
    span loca = find_table(data, tables, "loca"), kern = find_table(data, tables, "kern");
    span gpos = find_table(data, tables, "GPOS"), cff = find_table(data, tables, "CFF ");
    if (!cmap.begin || !head.begin || !hhea.begin || !hmtx.begin) return 0;
    if (!within(head, head.begin, 54) || !within(hhea, hhea.begin, 36)) return 0;
    uint32_t glyphs = 0xFFFF;
    if (maxp.begin) {
        if (!within(maxp, maxp.begin, 6)) return 0;
        glyphs = u16(data, maxp.begin + 4);
    }
    if (!check_cmap(data, cmap)) return 0;
    uint32_t long_metrics = u16(data, hhea.begin + 34);
    uint64_t short_metrics = glyphs > long_metrics ? glyphs - long_metrics : 0;
    if (long_metrics == 0 || !within(hmtx, hmtx.begin, 4ull * long_metrics + 2 * short_metrics)) return 0;
    if (glyf.begin) {
        uint32_t format = u16(data, head.begin + 50);
        if (!loca.begin || format > 1 || !within(loca, loca.begin, (glyphs + 1ull) * (format ? 4 : 2))) return 0;
        t->glyf = (uint32_t)glyf.begin;
        t->glyf_length = (uint32_t)(glyf.end - glyf.begin);
        t->loca = (uint32_t)loca.begin;
        t->loca_long = format;
    } else {
        if (!cff.begin || !check_cff(data, cff, glyphs)) return 0;
        t->cff = (uint32_t)cff.begin;
        t->cff_length = (uint32_t)(cff.end - cff.begin);
    }
    if (gpos.begin ? !check_gpos(data, gpos) : kern.begin && !check_kern(data, kern)) return 0;
    t->data = data;
    t->length = length;
    t->num_glyphs = glyphs;
    return 1;
}

// Walks a simple glyph as stb_truetype's outline reader does: the flags with their repeats,
// the coordinates they call for, and the contour starts, counting the vertices it will write
// into its array of points + 2 x contours.
static bool check_simple_glyph(const uint8_t *d, span glyph, int32_t contours, outline_budget *budget)
{
    uint64_t ends = glyph.begin + 10;
    if (!within(glyph, ends, 2ull * contours + 2)) return false;
    uint64_t p = ends + 2ull * contours + 2 + u16(d, ends + 2ull * contours);
    uint32_t points = 1 + u16(d, ends + 2ull * contours - 2);
    budget->points += points;
    if (budget->points > MAX_OUTLINE_POINTS) return false;
    std::vector<uint8_t> flags(points);
    uint64_t coordinate_bytes = 0;
    for (uint32_t i = 0; i < points;) {
        if (!within(glyph, p, 1)) return false;
        uint8_t f = d[p++];
        uint32_t repeat = 0;
        if (f & 8) {
            if (!within(glyph, p, 1)) return false;
            repeat = d[p++];
        }
        uint32_t n = repeat + 1 < points - i ? repeat + 1 : points - i;
        memset(&flags[i], f, n);
        coordinate_bytes += (uint64_t)n * ((f & 2 ? 1 : f & 16 ? 0 : 2) + (f & 4 ? 1 : f & 32 ? 0 : 2));
        i += n;
    }
    if (!within(glyph, p, coordinate_bytes)) return false;
    uint64_t vertices = 0, next_move = 0, contour = 0;
    bool was_off = false, start_off = false;
    for (uint32_t i = 0; i < points; i++) {
        if (next_move == i) {
            if (i != 0) vertices += start_off && was_off ? 2 : 1;
            start_off = !(flags[i] & 1);
            if (start_off) {
                if (i + 1 >= points) return false; // it would read the point after the last
                if (flags[i + 1] & 1) i++;
            }
            vertices++;
            was_off = false;
            if (!within(glyph, ends + 2 * contour, 2)) return false;
            next_move = 1 + u16(d, ends + 2 * contour++);
        } else if (!(flags[i] & 1)) {
            vertices += was_off;
            was_off = true;
        } else {
            vertices++;
            was_off = false;
        }
    }
    vertices += start_off && was_off ? 2 : 1;
    return vertices <= (uint64_t)points + 2ull * contours;
}

static bool check_outline(const font_tables *t, uint32_t index, int depth, outline_budget *budget)
{
    if (index >= t->num_glyphs) return true; // stb_truetype draws nothing for it
    const uint8_t *d = t->data;
    uint64_t start, end;
    if (t->loca_long) {
        start = u32(d, t->loca + 4ull * index);
        end = u32(d, t->loca + 4ull * index + 4);
    } else {
        start = 2ull * u16(d, t->loca + 2ull * index);
        end = 2ull * u16(d, t->loca + 2ull * index + 2);
    }
    if (start == end) return true; // no outline
    if (start > end || end > t->glyf_length || end - start < 10) return false;
    span glyph = {t->glyf + start, t->glyf + end};
    int32_t contours = s16(d, glyph.begin);
    if (contours > 0) return check_simple_glyph(d, glyph, contours, budget);
    if (contours == 0) return true;
    if (depth >= FONT_CHECK_MAX_DEPTH) return false;
    uint64_t p = glyph.begin + 10;
    uint32_t flags;
    do {
        if (!within(glyph, p, 4)) return false;
        flags = u16(d, p);
        uint32_t component = u16(d, p + 2);
        p += 4;
        if (flags & 2) p += flags & 1 ? 4 : 2;
        p += flags & 8 ? 2 : flags & 64 ? 4 : flags & 128 ? 8 : 0;
        if (p > glyph.end || ++budget->components > MAX_OUTLINE_COMPONENTS) return false;
        if (!check_outline(t, component, depth + 1, budget)) return false;
    } while (flags & 32);
    return true;
}

int font_check_glyph(const font_tables *t, int32_t glyph)
{
    if (!t || !t->data || glyph < 0 || (uint32_t)glyph >= t->num_glyphs) return 0;
    if (!t->glyf) return 1;
    outline_budget budget = {0, 0};
    return check_outline(t, (uint32_t)glyph, 0, &budget);
}
