// utf8: decoding one code point at a time for text drawing and measuring.
#pragma once
#include <stdint.h>

#define UTF8_INVALID 0xFFFFFFFFu

// The next code point at *str (0 at the terminating NUL, which is not passed);
// UTF8_INVALID for a bad sequence. Advances *str.
uint32_t utf8codepoint(const char **str);
