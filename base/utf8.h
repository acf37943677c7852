// utf8: decoding one code point at a time for text drawing and measuring, and the byte-order
// mark some editors put before source.
#pragma once
#include <stddef.h>
#include <stdint.h>

#define UTF8_INVALID 0xFFFFFFFFu

// The next code point at *str (0 at the terminating NUL, which is not passed);
// UTF8_INVALID for a bad sequence. Advances *str.
uint32_t utf8codepoint(const char **str);

// The text past a leading UTF-8 byte-order mark (which the parser takes for code), with
// *length reduced to match; the text itself when it has none.
const char *utf8_skip_bom(const char *text, size_t *length);
