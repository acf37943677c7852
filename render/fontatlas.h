// fontatlas: a TrueType font loaded through the virtual file system, with a glyph cache that
// rasterises glyphs on demand per pixel size and packs them (skyline, bottom-left) into
// shared 512 x 512 page textures. Rasterising and texture work happen on the render thread;
// measuring never touches textures. Callers on two threads hold render_font_lock (render.h).
// A file is refused unless its tables pass font_check (font_check.h), and a glyph whose outline
// does not fit its bytes keeps its advance but draws nothing.
#pragma once
#include <SDL.h>
#include <cmath>
#include <stdint.h>

struct fontatlas;

struct fontatlas_glyph {
    SDL_Texture *texture; // its page; null for a glyph too large for any page (advance only)
    int32_t x, y, w, h;   // the bitmap inside the page
    float advance;        // pixels
    float left_side_bearing;
    float x0, y0, x1, y1; // bitmap box relative to the pen on the baseline, y downward
    int32_t index;        // the font's glyph index, for kerning
};

#define FONTATLAS_PAGE_SIZE 512

// The pixel size of a label's size_enum, for drawing and measuring alike: trunc(2 x size_enum)
// + 22 from the size as given (1.5 gives 25), without overflow; a result outside 0..254 (a
// negative one too) gives 255, and NaN counts as 0.
static inline uint32_t fontatlas_label_pixel_size(double size_enum)
{
    double twice = std::isnan(size_enum) ? 0.0 : std::trunc(2.0 * size_enum);
    return twice >= -22.0 && twice <= 232.0 ? (uint32_t)(twice + 22.0) : 255u;
}

fontatlas *fontatlas_new(SDL_Renderer *renderer, const char *path);
void fontatlas_delete(fontatlas *font);
// px / (ascent - descent) of the hhea table.
float fontatlas_get_scale(fontatlas *font, uint32_t pixel_size);
float fontatlas_get_ascent(fontatlas *font, float scale);
void fontatlas_cacheglyphs(fontatlas *font, uint32_t pixel_size, const uint32_t *codepoints, int count);
// The cached glyph (rasterised and packed on a miss); NULL when the font lacks it.
const fontatlas_glyph *fontatlas_getglyph(fontatlas *font, uint32_t codepoint, uint32_t pixel_size);
float fontatlas_get_kerningadvance(fontatlas *font, uint32_t codepoint1, uint32_t codepoint2, float scale);
// Kerning between two glyph indices (0 for index 0), in pixels at scale.
float fontatlas_get_glyph_kerning(fontatlas *font, int32_t index1, int32_t index2, float scale);
// Width of a UTF-8 text and the line height at a pixel size; either pointer may be NULL.
void fontatlas_calcstringrect(fontatlas *font, const char *text, uint32_t pixel_size, float *width, float *height);
// Pages the atlas holds (for tests).
int fontatlas_page_count(fontatlas *font);
