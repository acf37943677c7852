// font_check: the checks a font file passes before stb_truetype reads it. stb_truetype trusts
// every offset and count in the file; these checks walk the same tables it reads (the table
// directory, cmap and the subtable it picks, head, hhea, hmtx, maxp, loca, kern or GPOS, and
// the CFF structures of an OpenType outline font) and refuse a file where one does not fit.
// Glyph outlines are checked one glyph at a time, on its first use.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Where the tables that later checks need lie in the file (byte offsets from its start).
struct font_tables {
    const uint8_t *data;
    size_t length;
    uint32_t num_glyphs;         // maxp's count (stb_truetype's 0xFFFF without maxp)
    uint32_t glyf, glyf_length;  // 0 for a CFF font
    uint32_t loca, loca_long;    // loca_long: 32-bit entries
    uint32_t cff, cff_length;    // 0 for a TrueType font
};

// 1 when every table stb_truetype reads fits the file (tables filled in); 0 to refuse it.
int font_check_file(const uint8_t *data, size_t length, font_tables *tables);

// 1 when a glyph index stb_truetype may be asked about: below the glyph count, and its
// outline (a TrueType glyph and every glyph it is composed of, nested at most
// FONT_CHECK_MAX_DEPTH deep) fits its bytes. A CFF glyph is bounded by its buffers.
int font_check_glyph(const font_tables *tables, int32_t glyph);

#define FONT_CHECK_MAX_DEPTH 16
