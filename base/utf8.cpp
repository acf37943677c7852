#include "base/utf8.h"

#include <string.h>

static int is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Consumes `count` continuation bytes after the lead byte when all are there; answers
// whether they were, leaving *p one past the lead byte otherwise.
static int take_continuations(const unsigned char *&p, int count, uint32_t &value)
{
    for (int i = 0; i < count; i++)
        if (!is_continuation(p[i])) return 0;
    for (int i = 0; i < count; i++) value = (value << 6) | (p[i] & 0x3F);
    p += count;
    return 1;
}

uint32_t utf8codepoint(const char **str)
{
    const unsigned char *p = (const unsigned char *)*str;
    unsigned char b = *p;
    if (b == 0) return 0;
    p++;
    uint32_t v;
    uint32_t result = UTF8_INVALID;
    if (b < 0x80) {
        result = b;
    } else if (b < 0xC0) {
        result = UTF8_INVALID;
    } else if (b < 0xE0) {
        v = b & 0x1F;
        if (take_continuations(p, 1, v) && v >= 0x80) result = v;
    } else if (b < 0xF0) {
        v = b & 0x0F;
        if (take_continuations(p, 2, v)) {
            bool excluded = v == 0xD800 || v == 0xDB7F || v == 0xDB80 || v == 0xDBFF || v == 0xDC00 ||
                            v == 0xDF80 || v == 0xDFFF;
            if (!excluded && v >= 0x800 && v <= 0xFFFD) result = v;
        }
    } else if (b < 0xF8) {
        v = b & 0x07;
        if (take_continuations(p, 3, v) && v >= 0x10000 && v <= 0x10FFFF) result = v;
    } else if (b < 0xFC) {
        v = 0;
        take_continuations(p, 4, v);
    } else {
        v = 0;
        take_continuations(p, 5, v);
    }
    *str = (const char *)p;
    return result;
}

const char *utf8_skip_bom(const char *text, size_t *length)
{
    if (text && *length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        *length -= 3;
        return text + 3;
    }
    return text;
}
