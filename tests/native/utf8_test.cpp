// Decoding UTF-8 one code point at a time, and the byte-order mark before source.
#include "base/utf8.h"

#include <gtest/gtest.h>
#include <string.h>

TEST(Utf8, DecodesValidSequencesAndRejectsBadOnes)
{
    struct row {
        const char *bytes;
        uint32_t expect;
        int advance;
    } rows[] = {
        {"A", 0x41, 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xC0\x80", UTF8_INVALID, 2},
        {"\xED\xA0\x80", UTF8_INVALID, 3},
        {"\xED\xA0\x81", 0xD801, 3},
        {"\xE2\x28\xA1", UTF8_INVALID, 1},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xF4\x90\x80\x80", UTF8_INVALID, 4},
        {"\xEF\xBF\xBE", UTF8_INVALID, 3},
        {"\x80", UTF8_INVALID, 1},
        {"\xF8\x88\x80\x80\x80", UTF8_INVALID, 5},
        {"\xFC\x84\x80\x80\x80\x80", UTF8_INVALID, 6},
        {"\xE2\x82", UTF8_INVALID, 1},
    };
    for (const row &r : rows) {
        const char *p = r.bytes;
        EXPECT_EQ(r.expect, utf8codepoint(&p)) << r.bytes;
        EXPECT_EQ(r.advance, p - r.bytes) << r.bytes;
    }
    const char *end = "";
    EXPECT_EQ(0u, utf8codepoint(&end));
    EXPECT_EQ(0, *end);
}

TEST(Utf8, OnlyALeadingByteOrderMarkIsSkipped)
{
    struct row {
        const char *text;
        size_t length, skipped;
    } rows[] = {{"\xEF\xBB\xBFputs 1", 9, 3}, {"\xEF\xBB\xBF", 3, 3}, {"\xEF\xBB", 2, 0}, {"x\xEF\xBB\xBF", 4, 0}, {"", 0, 0}};
    for (const row &r : rows) {
        size_t length = r.length;
        EXPECT_EQ(r.text + r.skipped, utf8_skip_bom(r.text, &length)) << r.length;
        EXPECT_EQ(r.length - r.skipped, length);
    }
}
