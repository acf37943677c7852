// Each check tells the format by the decoder's own tests, in its order, reads the header as
// the decoder reads it, and then holds the file's length to what the header declares.
#include "render/picture_check.h"
#include "render/byte_reader.h"
#include "render/frame_format.h" // FRAME_MAX_TEXTURE_SIDE
#include "render/jpeg_check.h"

#include <SDL.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

// The decoder's own header readers, from a copy of the decoder of its own: formats checked no
// further than their header are read here exactly as the decoder will read them.
#define STBI_MALLOC(size) SDL_malloc(size)
#define STBI_REALLOC(pointer, size) SDL_realloc(pointer, size)
#define STBI_FREE(pointer) SDL_free(pointer)
// Only the formats whose header the decoder reads here: the others are told apart first.
#define STBI_ONLY_BMP
#define STBI_ONLY_PSD
#define STBI_ONLY_TGA
#define STBI_ONLY_HDR
#define STBI_ONLY_GIF
#include "render/stb_image_copy.h"

int picture_physfs_read(void *user, char *buffer, int size)
{
    PHYSFS_sint64 got = PHYSFS_readBytes((PHYSFS_File *)user, buffer, (PHYSFS_uint64)(size > 0 ? size : 0));
    // A read error (-1) is the end of the data: the decoder then fails cleanly.
    return got < 0 ? 0 : (int)got;
}

void picture_physfs_skip(void *user, int n)
{
    PHYSFS_File *file = (PHYSFS_File *)user;
    PHYSFS_sint64 at = PHYSFS_tell(file);
    if (at < 0) return;
    PHYSFS_sint64 target = at + n;
    PHYSFS_seek(file, (PHYSFS_uint64)(target < 0 ? 0 : target));
}

int picture_physfs_eof(void *user)
{
    PHYSFS_File *file = (PHYSFS_File *)user;
    if (PHYSFS_eof(file)) return 1;
    // A file whose position cannot be read is at its end for the decoder's purposes.
    return PHYSFS_tell(file) < 0;
}

static const stbi_io_callbacks picture_physfs_callbacks = {picture_physfs_read, picture_physfs_skip, picture_physfs_eof};

static uint32_t le16(const uint8_t *p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t le32(const uint8_t *p) { return le16(p) | le16(p + 2) << 16; }
static uint32_t be16(const uint8_t *p) { return (uint32_t)p[0] << 8 | p[1]; }
static uint32_t be32(const uint8_t *p) { return be16(p) << 16 | be16(p + 2); }

static bool read_at(PHYSFS_File *file, int64_t offset, void *out, size_t n)
{
    return offset >= 0 && PHYSFS_seek(file, (PHYSFS_uint64)offset) &&
           PHYSFS_readBytes(file, out, n) == (PHYSFS_sint64)n;
}

enum image_format { FORMAT_OTHER, FORMAT_PNG, FORMAT_BMP, FORMAT_PSD, FORMAT_PIC, FORMAT_JPEG, FORMAT_PNM, FORMAT_HDR, FORMAT_TGA };

// The format the decoder takes the file for: its own tests, in its order, on the first bytes.
static image_format sniff_format(const uint8_t *h, size_t n)
{
    static const uint8_t png[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (n >= 8 && memcmp(h, png, 8) == 0) return FORMAT_PNG;
    if (n >= 18 && h[0] == 'B' && h[1] == 'M') {
        uint32_t size = le32(h + 14);
        if (size == 12 || size == 40 || size == 56 || size == 108 || size == 124) return FORMAT_BMP;
    }
    if (n >= 4 && memcmp(h, "8BPS", 4) == 0) return FORMAT_PSD;
    if (n >= 4 && memcmp(h, "\x53\x80\xF6\x34", 4) == 0) return FORMAT_PIC;
    if (n >= 1 && h[0] == 0xFF) return FORMAT_JPEG; // any number of fill bytes may come before its first marker
    if (n >= 2 && h[0] == 'P' && (h[1] == '5' || h[1] == '6')) return FORMAT_PNM;
    if ((n >= 11 && memcmp(h, "#?RADIANCE\n", 11) == 0) || (n >= 7 && memcmp(h, "#?RGBE\n", 7) == 0)) return FORMAT_HDR;
    // TGA has no signature: the decoder takes what passes its field checks, after all else.
    if (n < 18 || h[1] > 1 || le16(h + 12) < 1 || le16(h + 14) < 1) return FORMAT_OTHER;
    int type = h[2], bits = h[16];
    bool bits_ok = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
    if (h[1] == 1) {
        int entry_bits = h[7];
        bool entries_ok = entry_bits == 8 || entry_bits == 15 || entry_bits == 16 || entry_bits == 24 || entry_bits == 32;
        return (type == 1 || type == 9) && entries_ok && (bits == 8 || bits == 16) ? FORMAT_TGA : FORMAT_OTHER;
    }
    return (type == 2 || type == 3 || type == 10 || type == 11) && bits_ok ? FORMAT_TGA : FORMAT_OTHER;
}

// Binary PGM/PPM headers, read as the decoder reads them; false where its reading goes
// wrong (a number past int, undefined there) or the header runs to the end of the file.
static bool read_pnm_header(PHYSFS_File *file, picture_check *c)
{
    byte_reader r = {file, 0, 0, 0, {}};
    if (!PHYSFS_seek(file, 0) || byte_reader_next(&r) != 'P') return false;
    c->pnm_channels = byte_reader_next(&r) == '6' ? 3 : 1;
    int ch = byte_reader_next(&r);
    auto is_space = [](int x) { return x == ' ' || x == '\t' || x == '\n' || x == '\v' || x == '\f' || x == '\r'; };
    auto skip_space = [&]() {
        for (;;) {
            while (is_space(ch)) ch = byte_reader_next(&r);
            if (ch != '#') return;
            while (ch >= 0 && ch != '\n' && ch != '\r') ch = byte_reader_next(&r);
        }
    };
    auto number = [&](int64_t *value) {
        *value = 0;
        while (ch >= '0' && ch <= '9') {
            *value = *value * 10 + (ch - '0');
            if (*value > INT_MAX) return false;
            ch = byte_reader_next(&r);
        }
        return true;
    };
    int64_t max_value = 0;
    skip_space();
    if (!number(&c->width)) return false;
    skip_space();
    if (!number(&c->height)) return false;
    skip_space();
    // The samples start after the one byte ending the maximum.
    if (!number(&max_value) || ch < 0 || max_value > 65535) return false;
    c->pnm_sample_bytes = max_value > 255 ? 2 : 1;
    c->data_at = r.offset;
    return true;
}

static uint32_t chunk_type(const char *name) { return be32((const uint8_t *)name); }

// PNG: the size from the header chunk (after Apple's CgBI chunks, as the decoder allows), then
// chunks up to the first that holds image data. Empty data chunks before it are shown to the
// decoder as ancillary chunks (it would copy them to its still-null buffer); the file decodes
// the same. A 16-bit picture whose inflated size passes int is beyond the decoder.
static void check_png(PHYSFS_File *file, picture_check *c)
{
    uint8_t chunk[8 + 13];
    bool header = false;
    for (int64_t at = 8;; at += 12 + (int64_t)be32(chunk)) {
        if (!read_at(file, at, chunk, 8)) break; // the decoder fails on its own
        uint32_t type = be32(chunk + 4), length = be32(chunk);
        if (length > INT_MAX) { // the decoder would go on reading from wherever it then is
            c->corrupt = true;
            return;
        }
        if (!header) {
            if (type == chunk_type("CgBI")) continue;
            if (type != chunk_type("IHDR") || length != 13 || !read_at(file, at + 8, chunk + 8, 13)) break;
            header = true;
            c->width = be32(chunk + 8), c->height = be32(chunk + 12);
            int colour = chunk[17], channels = (colour & 2 ? 3 : 1) + (colour & 4 ? 1 : 0);
            bool sized = c->width <= FRAME_MAX_TEXTURE_SIDE && c->height <= FRAME_MAX_TEXTURE_SIDE; // else refused by size
            if (sized && chunk[16] == 16 && 2 * c->width * c->height * channels + c->height > INT_MAX)
                c->too_large = IMAGE_TOO_LARGE_TO_DECODE;
        } else if (type == chunk_type("IDAT")) {
            if (length > 0) return;
            if (c->empty_idats == 0) c->empty_idat_at = at;
            // Data chunks follow one another: anything between them is a broken file.
            else if (at != c->empty_idat_at + 12 * (int64_t)c->empty_idats) c->corrupt = true;
            c->empty_idats++;
        } else if (type == chunk_type("IEND")) {
            return;
        }
    }
    if (!header) c->corrupt = true;
}

// BMP: missing rows read as zeros; a file too short for its rows is refused.
static void check_bmp(const uint8_t *h, size_t n, int64_t file_size, picture_check *c)
{
    if (n < 34) return;
    int64_t offset = le32(h + 10), w = c->width;
    bool core = le32(h + 14) == 12;
    int bits = (int)le16(h + (core ? 24 : 28));
    uint32_t compression = core ? 0 : le32(h + 30);
    if (compression != 0 && compression != 3) return; // refused by the decoder
    int64_t row = bits == 1    ? (w + 7) / 8
                  : bits == 4  ? (w + 1) / 2
                  : bits == 8  ? w
                  : bits == 16 ? 2 * w
                  : bits == 24 ? 3 * w
                  : bits > 16  ? 4 * w
                               : -1; // other depths are refused by the decoder
    // The last row may come without its padding.
    if (row >= 0 && file_size < offset + ((row + 3) & ~3) * (c->height - 1) + row) c->corrupt = true;
}

// TGA: missing raw rows come from memory the decoder never wrote, missing run-length packets
// read as zeros; a file too short for its pixels is refused.
static void check_tga(const uint8_t *h, int64_t file_size, picture_check *c)
{
    auto bytes_of = [](int bits) { return bits == 15 ? 2 : (bits + 7) / 8; };
    int64_t at = 18 + h[0], pixels = c->width * c->height;
    if (h[1] == 1) at += le16(h + 3) + (int64_t)le16(h + 5) * bytes_of(h[7]); // as the decoder skips to its palette
    int64_t pixel_bytes = bytes_of(h[16]);
    int64_t data = h[2] >= 8 ? (pixels + 127) / 128 * (1 + pixel_bytes) : pixels * pixel_bytes;
    if (file_size < at + data) c->corrupt = true;
}

// PSD: missing samples read as zeros; a file too short for the channels read is refused.
static void check_psd(PHYSFS_File *file, int64_t file_size, picture_check *c)
{
    uint8_t h[26], field[4];
    if (!read_at(file, 0, h, sizeof h)) return;
    int64_t channels = be16(h + 12), read_channels = channels < 4 ? channels : 4, depth = be16(h + 22);
    int64_t at = 26, pixels = c->width * c->height;
    for (int section = 0; section < 3; section++) { // mode data, resources, layers
        if (!read_at(file, at, field, 4)) return;
        at += 4 + (int64_t)be32(field);
    }
    if (!read_at(file, at, field, 2)) return;
    int compression = (int)be16(field);
    int64_t data = compression == 0   ? pixels * read_channels * (depth / 8)
                   : compression == 1 ? c->height * channels * 2 + read_channels * ((pixels + 127) / 128) * 2
                                      : 0;
    if (file_size < at + 2 + data) c->corrupt = true;
}

// Radiance: a run length of zero, or the end of the file inside a run-length scanline, sends
// the decoder round an endless loop, and missing flat pixels come from memory it never wrote.
// The data is walked first as the decoder walks it.
static void check_hdr(PHYSFS_File *file, int64_t file_size, picture_check *c)
{
    byte_reader r = {file, 0, 0, 0, {}};
    if (!PHYSFS_seek(file, 0)) return;
    // The identifier line, lines up to an empty one (or one starting with a NUL byte), then
    // the size line, as the decoder cuts them; a file ending there holds no pixels.
    auto line = [&]() { // 0: empty, 1: text, -1: the end of the file
        int first = byte_reader_next(&r), ch = first;
        while (ch >= 0 && ch != '\n') ch = byte_reader_next(&r);
        return ch < 0 ? -1 : first > 0 && first != '\n';
    };
    int kind = line();
    while (kind == 1) kind = line();
    if (kind < 0 || line() < 0) {
        c->corrupt = true;
        return;
    }
    int64_t w = c->width, h = c->height;
    auto flat_fits = [&](int64_t pixels) { return file_size - r.offset >= pixels * 4; };
    if (w < 8 || w >= 32768) {
        c->corrupt = !flat_fits(w * h);
        return;
    }
    for (int64_t y = 0; y < h; y++) {
        int c1 = byte_reader_next(&r), c2 = byte_reader_next(&r), high = byte_reader_next(&r);
        if (c1 != 2 || c2 != 2 || high < 0 || (high & 0x80)) { // the rest is read flat, all but one pixel
            c->corrupt = byte_reader_next(&r) < 0 || !flat_fits(w * h - 1);
            return;
        }
        int low = byte_reader_next(&r);
        if (low < 0 || (high << 8 | low) != w) return; // the decoder refuses it
        for (int k = 0; k < 4; k++)
            for (int64_t x = 0; x < w;) {
                int count = byte_reader_next(&r);
                if (count <= 0) { // zero, or the end: the decoder would never leave this scanline
                    c->corrupt = true;
                    return;
                }
                bool run = count > 128;
                if (run) count -= 128;
                if (count > w - x) return; // the decoder refuses it
                if (!byte_reader_skip(&r, run ? 1 : count)) {
                    c->corrupt = true;
                    return;
                }
                x += count;
            }
    }
}

void picture_check_file(PHYSFS_File *file, int64_t file_size, int32_t max_width, int32_t max_height, picture_check *c)
{
    uint8_t head[128];
    PHYSFS_sint64 got = PHYSFS_readBytes(file, head, sizeof head);
    image_format format = got > 0 ? sniff_format(head, (size_t)got) : FORMAT_OTHER;
    // The decoder's own header readers are used only where they stay in its first 128 bytes
    // when they fail: past them it goes back to the wrong place and tries other formats on
    // what it finds there.
    switch (format) {
    case FORMAT_PNM: c->corrupt = !read_pnm_header(file, c); break;
    case FORMAT_JPEG: {
        jpeg_size size = {};
        c->corrupt = !jpeg_check_file(file, file_size, max_width, max_height, &size);
        c->width = size.width, c->height = size.height;
        break;
    }
    case FORMAT_PNG: check_png(file, c); break;
    case FORMAT_PIC: // without its second signature the decoder takes it for nothing
        c->corrupt = got < 96 || memcmp(head + 88, "PICT", 4) != 0;
        if (!c->corrupt) c->width = be16(head + 92), c->height = be16(head + 94);
        break;
    default: {
        int w = 0, h = 0, channels = 0;
        c->corrupt = !PHYSFS_seek(file, 0) || !stbi_info_from_callbacks(&picture_physfs_callbacks, file, &w, &h, &channels);
        c->width = llabs((long long)w), c->height = llabs((long long)h); // BMP: negative for top-down rows
    }
    }
    if (c->corrupt || c->width == 0 || c->height == 0) {
        c->corrupt = true;
        return;
    }
    if (c->width > max_width || c->height > max_height) {
        c->too_large = IMAGE_LARGER_THAN_ALLOWED;
        return;
    }
    switch (format) {
    case FORMAT_PNM:
        c->corrupt = file_size - c->data_at < c->width * c->height * c->pnm_channels * c->pnm_sample_bytes;
        break;
    case FORMAT_BMP: check_bmp(head, (size_t)got, file_size, c); break;
    case FORMAT_TGA: check_tga(head, file_size, c); break;
    case FORMAT_PSD: check_psd(file, file_size, c); break;
    case FORMAT_HDR: check_hdr(file, file_size, c); break;
    default: break; // read whole above, or nothing to add
    }
}
