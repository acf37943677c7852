// stb_image reads PhysicsFS files (always 8-bit RGBA), lodepng writes the PNG bytes.
//
// stb_image believes what a file declares. So a file is read as the decoder would read it
// before it is decoded, and refused when the picture is larger than allowed, when the file is
// too short for what it declares (the decoder would hand back memory it never wrote, or build
// a huge picture of nothing), and where the decoder goes wrong: 16-bit PGM/PPM samples
// (converted past its buffer), an empty first PNG data chunk (a copy to a null pointer),
// Radiance run lengths of zero (an endless loop), numbers past int, JPEG tables and coded data
// (below). While decoding, no single allocation may exceed what the declared size needs.
#include "render/image.h"
#include "base/files.h"

#include <SDL.h>
#include <limits.h>
#include <lodepng.h>
#include <physfs.h>
#include <stdlib.h>
#include <string.h>

// The most one allocation of the decoder may take for the picture being decoded, set from
// its declared size: data that makes it build far more (a deflate stream inflating past the
// picture, a size overflowing its int arithmetic) fails the allocation instead of taking
// gigabytes. Per thread: both threads load images.
static thread_local size_t decoder_allocation_limit = SIZE_MAX;

static void *decoder_malloc(size_t size) { return size > decoder_allocation_limit ? nullptr : SDL_malloc(size); }

static void *decoder_realloc(void *pointer, size_t size)
{
    return size > decoder_allocation_limit ? nullptr : SDL_realloc(pointer, size);
}

// Decoded pixels are SDL-allocated so every caller frees them the same way.
#define STBI_MALLOC(size) decoder_malloc(size)
#define STBI_REALLOC(pointer, size) decoder_realloc(pointer, size)
#define STBI_FREE(pointer) SDL_free(pointer)
#define STBI_NO_STDIO
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop

static int stbi_physfs_read(void *user, char *buffer, int size)
{
    PHYSFS_sint64 got = PHYSFS_readBytes((PHYSFS_File *)user, buffer, (PHYSFS_uint64)(size > 0 ? size : 0));
    // A read error (-1) is the end of the data: the decoder then fails cleanly.
    return got < 0 ? 0 : (int)got;
}

static void stbi_physfs_skip(void *user, int n)
{
    PHYSFS_File *file = (PHYSFS_File *)user;
    PHYSFS_sint64 at = PHYSFS_tell(file);
    if (at < 0) return;
    PHYSFS_sint64 target = at + n;
    PHYSFS_seek(file, (PHYSFS_uint64)(target < 0 ? 0 : target));
}

static int stbi_physfs_eof(void *user)
{
    PHYSFS_File *file = (PHYSFS_File *)user;
    if (PHYSFS_eof(file)) return 1;
    // A file whose position cannot be read is at its end for the decoder's purposes.
    return PHYSFS_tell(file) < 0;
}

static const stbi_io_callbacks physfs_callbacks = {stbi_physfs_read, stbi_physfs_skip, stbi_physfs_eof};

// ---- reading headers ----------------------------------------------------------------------

static uint32_t le16(const uint8_t *p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t le32(const uint8_t *p) { return le16(p) | le16(p + 2) << 16; }
static uint32_t be16(const uint8_t *p) { return (uint32_t)p[0] << 8 | p[1]; }
static uint32_t be32(const uint8_t *p) { return be16(p) << 16 | be16(p + 2); }

static bool read_at(PHYSFS_File *file, int64_t offset, void *out, size_t n)
{
    return offset >= 0 && PHYSFS_seek(file, (PHYSFS_uint64)offset) &&
           PHYSFS_readBytes(file, out, n) == (PHYSFS_sint64)n;
}

// A file's bytes one at a time from its current position, through a small buffer.
struct byte_reader {
    PHYSFS_File *file;
    int64_t offset; // of the next byte
    int length, at;
    uint8_t buffer[512];
};

static int next_byte(byte_reader *r) // -1 at the end
{
    if (r->at == r->length) {
        PHYSFS_sint64 got = PHYSFS_readBytes(r->file, r->buffer, sizeof r->buffer);
        if (got <= 0) return -1;
        r->length = (int)got, r->at = 0;
    }
    r->offset++;
    return r->buffer[r->at++];
}

// Passes over n bytes; false when the file ends first.
static bool skip_bytes(byte_reader *r, int64_t n)
{
    while (n > 0) {
        if (r->at == r->length) {
            if (next_byte(r) < 0) return false;
            n--;
            continue;
        }
        int64_t taken = SDL_min((int64_t)(r->length - r->at), n);
        r->at += (int)taken, r->offset += taken, n -= taken;
    }
    return true;
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

// What the header check found.
struct image_check {
    int64_t width, height;      // as declared; a top-down picture's height made positive
    image_refusal too_large;
    bool corrupt;               // refused: never decoded
    int64_t data_at;            // PGM/PPM: where the samples start
    int pnm_channels, pnm_sample_bytes;
    int64_t empty_idat_at;      // PNG: the first of empty_idats empty data chunks in a row
    int empty_idats;
};

// Binary PGM/PPM headers, read as the decoder reads them; false where its reading goes
// wrong (a number past int, undefined there) or the header runs to the end of the file.
static bool read_pnm_header(PHYSFS_File *file, image_check *c)
{
    byte_reader r = {file, 0, 0, 0, {}};
    if (!PHYSFS_seek(file, 0) || next_byte(&r) != 'P') return false;
    c->pnm_channels = next_byte(&r) == '6' ? 3 : 1;
    int ch = next_byte(&r);
    auto is_space = [](int x) { return x == ' ' || x == '\t' || x == '\n' || x == '\v' || x == '\f' || x == '\r'; };
    auto skip_space = [&]() {
        for (;;) {
            while (is_space(ch)) ch = next_byte(&r);
            if (ch != '#') return;
            while (ch >= 0 && ch != '\n' && ch != '\r') ch = next_byte(&r);
        }
    };
    auto number = [&](int64_t *value) {
        *value = 0;
        while (ch >= '0' && ch <= '9') {
            *value = *value * 10 + (ch - '0');
            if (*value > INT_MAX) return false;
            ch = next_byte(&r);
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
static void check_png(PHYSFS_File *file, image_check *c)
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
static void check_bmp(const uint8_t *h, size_t n, int64_t file_size, image_check *c)
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
static void check_tga(const uint8_t *h, int64_t file_size, image_check *c)
{
    auto bytes_of = [](int bits) { return bits == 15 ? 2 : (bits + 7) / 8; };
    int64_t at = 18 + h[0], pixels = c->width * c->height;
    if (h[1] == 1) at += le16(h + 3) + (int64_t)le16(h + 5) * bytes_of(h[7]); // as the decoder skips to its palette
    int64_t pixel_bytes = bytes_of(h[16]);
    int64_t data = h[2] >= 8 ? (pixels + 127) / 128 * (1 + pixel_bytes) : pixels * pixel_bytes;
    if (file_size < at + data) c->corrupt = true;
}

// PSD: missing samples read as zeros; a file too short for the channels read is refused.
static void check_psd(PHYSFS_File *file, int64_t file_size, image_check *c)
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

// JPEG. The decoder goes wrong on Huffman tables declaring more than 256 codes (written past
// their arrays, in the header read as much as in decoding) and on scans coded with a table
// never defined (decoded with whatever memory holds). In coded data that ends at a marker
// before its blocks do, its bit counter goes negative and then shifts by 32 and more; DC
// sums can overflow int; and blocks no scan reaches keep memory it never wrote. So the file
// is read first as the decoder reads it: the same markers, the decoder's own table builders,
// its bit reader and block decoding mirrored step for step, with those cases refused.
struct jpeg_component {
    int id, h, v, quant;
    int blocks_x, blocks_y; // blocks of the decoded size; coefficient rows are mcu-padded
    int stride;             // coefficient blocks a row (progressive)
    int dc_table, ac_table;
    int64_t dc_prediction;
    bool complete; // a scan has written every block
    short *coefficients;
};

struct jpeg_state {
    byte_reader r;
    // The bit reader, as the decoder keeps it.
    uint32_t buffer;
    int count;
    bool nomore;
    int marker; // -1: none
    bool refused, failed; // refused: a case above; failed: the decoder stops on its own
    stbi__huffman huffman[2][4];
    stbi__int16 fast_ac[4][1 << FAST_BITS];
    bool defined[2][4];
    int dc_quant[4];
    bool quant_defined[4];
    bool progressive;
    int components, mcus_x, mcus_y, restart_interval;
    jpeg_component component[4];
    int scan_count, order[4], spec_start, spec_end, succ_high, succ_low, eob_run, todo;
};

static int jpeg_byte(jpeg_state *j) // the decoder reads the end of the file as zeros
{
    int b = next_byte(&j->r);
    return b < 0 ? 0 : b;
}

static void jpeg_fill(jpeg_state *j)
{
    do {
        int b = j->nomore ? 0 : jpeg_byte(j);
        if (b == 0xFF) {
            int c = jpeg_byte(j);
            while (c == 0xFF) c = jpeg_byte(j);
            if (c != 0) {
                j->marker = c, j->nomore = true;
                return;
            }
        }
        j->buffer |= (uint32_t)b << (24 - j->count);
        j->count += 8;
    } while (j->count <= 24);
}

// Takes n bits as the decoder does, without a refill; where the data ended at a marker first,
// its counter would go negative.
static uint32_t jpeg_take(jpeg_state *j, int n)
{
    if (j->count < n) {
        j->refused = true;
        return 0;
    }
    uint32_t bits = j->buffer >> (32 - n);
    j->buffer <<= n, j->count -= n;
    return bits;
}

// n bits (1 to 16) after the decoder's refill.
static uint32_t jpeg_bits(jpeg_state *j, int n)
{
    if (j->count < n) jpeg_fill(j);
    return jpeg_take(j, n);
}

// A coefficient of n bits: its first bit set, the value itself; clear, the negative range.
static int jpeg_extend(jpeg_state *j, int n)
{
    if (j->count < n) jpeg_fill(j);
    bool positive = j->buffer >> 31;
    int k = (int)jpeg_take(j, n);
    return positive ? k : k - (1 << n) + 1;
}

static int jpeg_decode(jpeg_state *j, const stbi__huffman *h)
{
    if (j->count < 16) jpeg_fill(j);
    int k = h->fast[j->buffer >> (32 - FAST_BITS)];
    if (k < 255) {
        int s = h->size[k];
        if (s > j->count) return -1;
        j->buffer <<= s, j->count -= s;
        return h->values[k];
    }
    unsigned temp = j->buffer >> 16;
    for (k = FAST_BITS + 1; temp >= h->maxcode[k]; k++) {
    }
    if (k == 17) {
        j->count -= 16;
        return -1;
    }
    if (k > j->count) return -1;
    int c = (int)((j->buffer >> (32 - k)) & stbi__bmask[k]) + h->delta[k];
    j->buffer <<= k, j->count -= k;
    return h->values[c];
}

// A DC difference added to the component's prediction, scaled as the decoder scales it.
static void jpeg_dc(jpeg_state *j, jpeg_component *comp, int diff, int64_t scale)
{
    comp->dc_prediction += diff;
    if (comp->dc_prediction > INT_MAX || comp->dc_prediction < INT_MIN || llabs(comp->dc_prediction) * scale > INT_MAX)
        j->refused = true;
}

static bool jpeg_block(jpeg_state *j, jpeg_component *comp)
{
    if (j->count < 16) jpeg_fill(j);
    int t = jpeg_decode(j, &j->huffman[0][comp->dc_table]);
    if (t < 0 || t > 15) return false;
    jpeg_dc(j, comp, t ? jpeg_extend(j, t) : 0, j->dc_quant[comp->quant]);
    const stbi__int16 *fast = j->fast_ac[comp->ac_table];
    int k = 1;
    do {
        if (j->count < 16) jpeg_fill(j);
        int r = fast[j->buffer >> (32 - FAST_BITS)];
        if (r) {
            k += ((r >> 4) & 15) + 1;
            jpeg_take(j, r & 15);
        } else {
            int rs = jpeg_decode(j, &j->huffman[1][comp->ac_table]);
            if (rs < 0) return false;
            if ((rs & 15) == 0) {
                if (rs != 0xF0) break;
                k += 16;
            } else {
                k += (rs >> 4) + 1;
                jpeg_extend(j, rs & 15);
            }
        }
    } while (k < 64 && !j->refused);
    return true;
}

static bool jpeg_block_dc(jpeg_state *j, jpeg_component *comp, short *data)
{
    if (j->spec_end != 0) return false;
    if (j->count < 16) jpeg_fill(j);
    if (j->succ_high == 0) {
        memset(data, 0, 64 * sizeof data[0]);
        int t = jpeg_decode(j, &j->huffman[0][comp->dc_table]);
        if (t < 0 || t > 15) return false;
        jpeg_dc(j, comp, t ? jpeg_extend(j, t) : 0, (int64_t)1 << j->succ_low);
    } else {
        jpeg_bits(j, 1);
    }
    return true;
}

// The refinement bit of a coefficient already set, as the decoder applies it.
static void jpeg_refine(jpeg_state *j, short *p, short bit)
{
    if (jpeg_bits(j, 1) && (*p & bit) == 0) *p = (short)(*p > 0 ? *p + bit : *p - bit);
}

static bool jpeg_block_ac(jpeg_state *j, jpeg_component *comp, short *data)
{
    if (j->spec_start == 0) return false;
    const stbi__huffman *h = &j->huffman[1][comp->ac_table];
    int k = j->spec_start;
    if (j->succ_high == 0) {
        if (j->eob_run) {
            j->eob_run--;
            return true;
        }
        const stbi__int16 *fast = j->fast_ac[comp->ac_table];
        do {
            if (j->count < 16) jpeg_fill(j);
            int r = fast[j->buffer >> (32 - FAST_BITS)];
            if (r) {
                k += (r >> 4) & 15;
                jpeg_take(j, r & 15);
                data[stbi__jpeg_dezigzag[k++]] = (short)((r >> 8) * (1 << j->succ_low));
            } else {
                int rs = jpeg_decode(j, h);
                if (rs < 0) return false;
                int s = rs & 15, run = rs >> 4;
                if (s == 0) {
                    if (run < 15) {
                        j->eob_run = (1 << run) + (run ? (int)jpeg_bits(j, run) : 0) - 1;
                        break;
                    }
                    k += 16;
                } else {
                    k += run;
                    data[stbi__jpeg_dezigzag[k++]] = (short)(jpeg_extend(j, s) * (1 << j->succ_low));
                }
            }
        } while (k <= j->spec_end && !j->refused);
        return true;
    }
    short bit = (short)(1 << j->succ_low);
    if (j->eob_run) {
        j->eob_run--;
        for (; k <= j->spec_end && !j->refused; k++)
            if (data[stbi__jpeg_dezigzag[k]] != 0) jpeg_refine(j, &data[stbi__jpeg_dezigzag[k]], bit);
        return true;
    }
    do {
        int rs = jpeg_decode(j, h);
        if (rs < 0) return false;
        int s = rs & 15, run = rs >> 4;
        if (s == 0) {
            if (run < 15) {
                j->eob_run = (1 << run) - 1 + (run ? (int)jpeg_bits(j, run) : 0);
                run = 64;
            }
        } else {
            if (s != 1) return false;
            s = jpeg_bits(j, 1) ? bit : -bit;
        }
        while (k <= j->spec_end && !j->refused) {
            short *p = &data[stbi__jpeg_dezigzag[k++]];
            if (*p != 0) {
                jpeg_refine(j, p, bit);
            } else {
                if (run == 0) {
                    *p = (short)s;
                    break;
                }
                --run;
            }
        }
    } while (k <= j->spec_end && !j->refused);
    return true;
}

static void jpeg_reset(jpeg_state *j)
{
    j->buffer = 0, j->count = 0, j->nomore = false, j->marker = -1, j->eob_run = 0;
    for (jpeg_component &comp : j->component) comp.dc_prediction = 0;
    j->todo = j->restart_interval ? j->restart_interval : INT_MAX;
}

// One unit of a restart interval done; false where the decoder leaves the scan early.
static bool jpeg_restart(jpeg_state *j)
{
    if (--j->todo > 0) return true;
    if (j->count < 24) jpeg_fill(j);
    if (j->marker < 0xD0 || j->marker > 0xD7) return false;
    jpeg_reset(j);
    return true;
}

// The coded data of one scan, in the decoder's order; marks the components it writes whole.
static void jpeg_scan(jpeg_state *j)
{
    jpeg_reset(j);
    bool whole = true, first_dc = !j->progressive || (j->spec_start == 0 && j->succ_high == 0);
    // The block a progressive scan refines; baseline scans keep none.
    auto block = [j](jpeg_component *comp, int x, int y) {
        return j->progressive ? comp->coefficients + 64 * ((size_t)y * comp->stride + x) : nullptr;
    };
    if (j->scan_count == 1) {
        jpeg_component *comp = &j->component[j->order[0]];
        for (int y = 0; y < comp->blocks_y && whole; y++)
            for (int x = 0; x < comp->blocks_x && whole; x++) {
                bool ok = !j->progressive ? jpeg_block(j, comp)
                          : j->spec_start == 0 ? jpeg_block_dc(j, comp, block(comp, x, y))
                                               : jpeg_block_ac(j, comp, block(comp, x, y));
                if (!ok || j->refused) {
                    j->failed = !ok;
                    return;
                }
                whole = jpeg_restart(j) || (y == comp->blocks_y - 1 && x == comp->blocks_x - 1);
            }
    } else {
        for (int my = 0; my < j->mcus_y && whole; my++)
            for (int mx = 0; mx < j->mcus_x && whole; mx++) {
                for (int i = 0; i < j->scan_count; i++) {
                    jpeg_component *comp = &j->component[j->order[i]];
                    for (int y = 0; y < comp->v; y++)
                        for (int x = 0; x < comp->h; x++) {
                            bool ok = j->progressive ? jpeg_block_dc(j, comp, block(comp, mx * comp->h + x, my * comp->v + y))
                                                     : jpeg_block(j, comp);
                            if (!ok || j->refused) {
                                j->failed = !ok;
                                return;
                            }
                        }
                }
                whole = jpeg_restart(j) || (my == j->mcus_y - 1 && mx == j->mcus_x - 1);
            }
    }
    if (whole && first_dc)
        for (int i = 0; i < j->scan_count; i++) j->component[j->order[i]].complete = true;
}

// Tables, restart interval and application data, as the decoder's marker handler reads them;
// false where it stops.
static bool jpeg_segment(jpeg_state *j, int marker)
{
    int length = jpeg_byte(j) << 8;
    length |= jpeg_byte(j);
    if (marker == 0xC4) { // Huffman tables
        for (length -= 2; length > 0; length -= 17) {
            int kind = jpeg_byte(j), sizes[16], codes = 0;
            for (int &size : sizes) codes += size = jpeg_byte(j);
            if (kind >> 4 > 1 || (kind & 15) > 3) return false;
            if (codes > 256) return !(j->refused = true);
            stbi__huffman *h = &j->huffman[kind >> 4][kind & 15];
            if (!stbi__build_huffman(h, sizes)) return false;
            for (int i = 0; i < codes; i++) h->values[i] = (stbi_uc)jpeg_byte(j);
            if (kind >> 4) stbi__build_fast_ac(j->fast_ac[kind & 15], h);
            j->defined[kind >> 4][kind & 15] = true;
            length -= codes;
        }
        return length == 0;
    }
    if (marker == 0xDB) { // quantization tables: the DC value is what can overflow
        for (length -= 2; length > 0;) {
            int kind = jpeg_byte(j), wide = kind >> 4, t = kind & 15;
            if (wide > 1 || t > 3) return false;
            j->dc_quant[t] = wide ? jpeg_byte(j) << 8 : 0;
            j->dc_quant[t] |= jpeg_byte(j);
            j->quant_defined[t] = true;
            if (!skip_bytes(&j->r, wide ? 126 : 63)) return false;
            length -= wide ? 129 : 65;
        }
        return length == 0;
    }
    if (marker == 0xDD) { // restart interval
        j->restart_interval = jpeg_byte(j) << 8;
        j->restart_interval |= jpeg_byte(j);
        return length == 4;
    }
    if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) return length >= 2 && skip_bytes(&j->r, length - 2);
    return false;
}

// The frame header; false where the decoder refuses it.
static bool jpeg_frame(jpeg_state *j, int marker, image_check *c)
{
    int length = jpeg_byte(j) << 8;
    length |= jpeg_byte(j);
    if (length < 11 || jpeg_byte(j) != 8) return false;
    c->height = jpeg_byte(j) << 8, c->height |= jpeg_byte(j);
    c->width = jpeg_byte(j) << 8, c->width |= jpeg_byte(j);
    j->components = jpeg_byte(j);
    if (c->width == 0 || c->height == 0 || (j->components != 1 && j->components != 3 && j->components != 4) ||
        length != 8 + 3 * j->components)
        return false;
    int h_max = 1, v_max = 1;
    for (int i = 0; i < j->components; i++) {
        jpeg_component *comp = &j->component[i];
        comp->id = jpeg_byte(j);
        int q = jpeg_byte(j);
        comp->h = q >> 4, comp->v = q & 15, comp->quant = jpeg_byte(j);
        if (comp->h < 1 || comp->h > 4 || comp->v < 1 || comp->v > 4 || comp->quant > 3) return false;
        h_max = SDL_max(h_max, comp->h), v_max = SDL_max(v_max, comp->v);
    }
    j->progressive = marker == 0xC2;
    j->mcus_x = (int)((c->width + h_max * 8 - 1) / (h_max * 8)), j->mcus_y = (int)((c->height + v_max * 8 - 1) / (v_max * 8));
    for (int i = 0; i < j->components; i++) {
        jpeg_component *comp = &j->component[i];
        if (h_max % comp->h || v_max % comp->v) return false;
        comp->blocks_x = (int)(((c->width * comp->h + h_max - 1) / h_max + 7) / 8);
        comp->blocks_y = (int)(((c->height * comp->v + v_max - 1) / v_max + 7) / 8);
        comp->stride = j->mcus_x * comp->h;
    }
    return true;
}

// A scan header, then its coded data; false where the decoder stops.
static bool jpeg_scan_segment(jpeg_state *j)
{
    int length = jpeg_byte(j) << 8;
    length |= jpeg_byte(j);
    j->scan_count = jpeg_byte(j);
    if (j->scan_count < 1 || j->scan_count > 4 || j->scan_count > j->components || length != 6 + 2 * j->scan_count)
        return false;
    for (int i = 0; i < j->scan_count; i++) {
        int id = jpeg_byte(j), tables = jpeg_byte(j), which = 0;
        while (which < j->components && j->component[which].id != id) which++;
        if (which == j->components || tables >> 4 > 3 || (tables & 15) > 3) return false;
        j->component[which].dc_table = tables >> 4, j->component[which].ac_table = tables & 15;
        j->order[i] = which;
    }
    j->spec_start = jpeg_byte(j), j->spec_end = jpeg_byte(j);
    int approximation = jpeg_byte(j);
    j->succ_high = approximation >> 4, j->succ_low = approximation & 15;
    if (j->progressive ? j->spec_start > 63 || j->spec_end > 63 || j->spec_start > j->spec_end || j->succ_high > 13 ||
                             j->succ_low > 13
                       : j->spec_start != 0 || approximation != 0)
        return false;
    if (!j->progressive) j->spec_end = 63;
    // The tables it decodes with must exist: baseline scans use both of a component (and
    // its quantizer), progressive ones the DC table in a first DC scan, the AC table in AC scans.
    bool dc = !j->progressive || (j->spec_start == 0 && j->succ_high == 0), ac = !j->progressive || j->spec_start > 0;
    for (int i = 0; i < j->scan_count; i++) {
        jpeg_component *comp = &j->component[j->order[i]];
        if ((dc && !j->defined[0][comp->dc_table]) || (ac && !j->defined[1][comp->ac_table]) ||
            (!j->progressive && !j->quant_defined[comp->quant]))
            return !(j->refused = true);
        // Later progressive scans refine what the first DC scan wrote: before it, memory never written.
        if (j->progressive && !(j->spec_start == 0 && j->succ_high == 0) && !comp->complete) return !(j->refused = true);
        if (j->progressive && !comp->coefficients) {
            // Coefficients kept for refinement, as the decoder keeps them (its buffer is as large).
            size_t count = (size_t)comp->stride * j->mcus_y * comp->v * 64;
            comp->coefficients = (short *)SDL_calloc(count, sizeof(short));
            if (!comp->coefficients) return !(j->refused = true);
        }
    }
    jpeg_scan(j);
    return !j->refused && !j->failed;
}

static bool at_end(byte_reader *r)
{
    if (r->at < r->length) return false;
    PHYSFS_sint64 got = PHYSFS_readBytes(r->file, r->buffer, sizeof r->buffer);
    if (got <= 0) return true;
    r->length = (int)got, r->at = 0;
    return false;
}

// The next marker as the decoder looks for it: one it already met, or 0xFF (and fill bytes)
// then the marker; -1 for anything else.
static int jpeg_marker(jpeg_state *j)
{
    int m = j->marker;
    j->marker = -1;
    if (m >= 0) return m;
    int b = jpeg_byte(j);
    if (b != 0xFF) return -1;
    while (b == 0xFF) b = jpeg_byte(j);
    return b;
}

static void check_jpeg(PHYSFS_File *file, int64_t file_size, int32_t max_width, int32_t max_height, image_check *c)
{
    jpeg_state *j = (jpeg_state *)SDL_calloc(1, sizeof(jpeg_state));
    if (!j || !PHYSFS_seek(file, 0)) {
        c->corrupt = true;
        SDL_free(j);
        return;
    }
    j->r.file = file;
    j->marker = -1;
    bool whole = false;
    int m = jpeg_marker(j);
    // Fill bytes past its first 128 bytes send the decoder back to the wrong place.
    if (m == 0xD8 && j->r.offset > 128) j->refused = true;
    else if (m == 0xD8) {
        // Up to the frame header, bytes between segments passed over.
        for (m = jpeg_marker(j); m != 0xC0 && m != 0xC1 && m != 0xC2;) {
            if (!jpeg_segment(j, m)) goto done;
            while ((m = jpeg_marker(j)) < 0)
                if (at_end(&j->r)) goto done;
        }
        if (!jpeg_frame(j, m, c)) goto done;
        // Too large (refused by its size), or too short for a bit a block: not read on.
        if (c->width > max_width || c->height > max_height) goto done;
        if (file_size * 8 < ((c->width + 7) / 8) * ((c->height + 7) / 8)) {
            j->refused = true;
            goto done;
        }
        for (m = jpeg_marker(j); m != 0xD9; m = jpeg_marker(j)) {
            if (m == 0xDA) {
                if (!jpeg_scan_segment(j)) goto done;
                // Past the end of the coded data to the next 0xFF, as the decoder goes on.
                while (j->marker < 0 && !at_end(&j->r))
                    if (jpeg_byte(j) == 0xFF) {
                        int next = jpeg_byte(j);
                        j->marker = next == 0xFF ? -1 : next;
                        break;
                    }
            } else if (m == 0xDC) { // the number of lines: checked by the decoder
                if (!skip_bytes(&j->r, 4)) goto done;
            } else if (!jpeg_segment(j, m)) {
                goto done;
            }
        }
        // Every component must have been written whole, and (progressive: only now) quantized.
        whole = true;
        for (int i = 0; i < j->components; i++) whole = whole && j->component[i].complete && j->quant_defined[j->component[i].quant];
        if (!whole) j->refused = true;
    }
done:
    c->corrupt = c->corrupt || j->refused;
    for (jpeg_component &comp : j->component) SDL_free(comp.coefficients);
    SDL_free(j);
}

// Radiance: a run length of zero, or the end of the file inside a run-length scanline, sends
// the decoder round an endless loop, and missing flat pixels come from memory it never wrote.
// The data is walked first as the decoder walks it.
static void check_hdr(PHYSFS_File *file, int64_t file_size, image_check *c)
{
    byte_reader r = {file, 0, 0, 0, {}};
    if (!PHYSFS_seek(file, 0)) return;
    // The identifier line, lines up to an empty one (or one starting with a NUL byte), then
    // the size line, as the decoder cuts them; a file ending there holds no pixels.
    auto line = [&]() { // 0: empty, 1: text, -1: the end of the file
        int first = next_byte(&r), ch = first;
        while (ch >= 0 && ch != '\n') ch = next_byte(&r);
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
        int c1 = next_byte(&r), c2 = next_byte(&r), high = next_byte(&r);
        if (c1 != 2 || c2 != 2 || high < 0 || (high & 0x80)) { // the rest is read flat, all but one pixel
            c->corrupt = next_byte(&r) < 0 || !flat_fits(w * h - 1);
            return;
        }
        int low = next_byte(&r);
        if (low < 0 || (high << 8 | low) != w) return; // the decoder refuses it
        for (int k = 0; k < 4; k++)
            for (int64_t x = 0; x < w;) {
                int count = next_byte(&r);
                if (count <= 0) { // zero, or the end: the decoder would never leave this scanline
                    c->corrupt = true;
                    return;
                }
                bool run = count > 128;
                if (run) count -= 128;
                if (count > w - x) return; // the decoder refuses it
                if (!skip_bytes(&r, run ? 1 : count)) {
                    c->corrupt = true;
                    return;
                }
                x += count;
            }
    }
}

// Reads what the file declares and decides whether it may be decoded.
static void check_image(PHYSFS_File *file, int64_t file_size, int32_t max_width, int32_t max_height, image_check *c)
{
    uint8_t head[128];
    PHYSFS_sint64 got = PHYSFS_readBytes(file, head, sizeof head);
    image_format format = got > 0 ? sniff_format(head, (size_t)got) : FORMAT_OTHER;
    // The decoder's own header readers are used only where they stay in its first 128 bytes
    // when they fail: past them it goes back to the wrong place and tries other formats on
    // what it finds there.
    switch (format) {
    case FORMAT_PNM: c->corrupt = !read_pnm_header(file, c); break;
    case FORMAT_JPEG: check_jpeg(file, file_size, max_width, max_height, c); break;
    case FORMAT_PNG: check_png(file, c); break;
    case FORMAT_PIC: // without its second signature the decoder takes it for nothing
        c->corrupt = got < 96 || memcmp(head + 88, "PICT", 4) != 0;
        if (!c->corrupt) c->width = be16(head + 92), c->height = be16(head + 94);
        break;
    default: {
        int w = 0, h = 0, channels = 0;
        c->corrupt = !PHYSFS_seek(file, 0) || !stbi_info_from_callbacks(&physfs_callbacks, file, &w, &h, &channels);
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

// ---- decoding ----------------------------------------------------------------------------

// Empty PNG data chunks before the first with data, renamed on their way to the decoder.
struct renamed_chunks {
    PHYSFS_File *file;
    int64_t first;
    int count;
};

static int read_renaming(void *user, char *buffer, int size)
{
    renamed_chunks *r = (renamed_chunks *)user;
    PHYSFS_sint64 at = PHYSFS_tell(r->file);
    int got = stbi_physfs_read(r->file, buffer, size);
    if (at < 0) return got;
    // "IDAT" becomes "iDAT": an ancillary chunk, which the decoder skips.
    int64_t k = at > r->first + 4 ? (at - r->first - 4 + 11) / 12 : 0;
    for (; k < r->count && r->first + 12 * k + 4 < at + got; k++) buffer[r->first + 12 * k + 4 - at] = 'i';
    return got;
}

static void skip_renaming(void *user, int n) { stbi_physfs_skip(((renamed_chunks *)user)->file, n); }

static int eof_renaming(void *user) { return stbi_physfs_eof(((renamed_chunks *)user)->file); }

// 16-bit PGM/PPM: asked for its own channel count the decoder keeps the samples as the file
// has them, high byte first (its reduction to 8 bits writes past its buffer for any other
// count, and keeps the low byte); the picture takes the high bytes.
static stbi_uc *decode_wide_pnm(PHYSFS_File *file, int channels, int *w, int *h)
{
    int n = 0;
    stbi_us *samples = stbi_load_16_from_callbacks(&physfs_callbacks, file, w, h, &n, channels);
    if (!samples) return nullptr;
    size_t count = (size_t)*w * (size_t)*h;
    stbi_uc *rgba = (stbi_uc *)SDL_malloc(count * 4);
    const uint8_t *bytes = (const uint8_t *)samples;
    for (size_t i = 0; rgba && i < count; i++) {
        const uint8_t *sample = bytes + i * (size_t)channels * 2;
        int step = channels == 3 ? 2 : 0;
        rgba[i * 4] = sample[0], rgba[i * 4 + 1] = sample[step], rgba[i * 4 + 2] = sample[2 * step];
        rgba[i * 4 + 3] = 255;
    }
    SDL_free(samples);
    return rgba;
}

static stbi_uc *decode(PHYSFS_File *file, int64_t file_size, const image_check &c, int *w, int *h)
{
    if (!PHYSFS_seek(file, 0)) return nullptr;
    // Room for the largest buffer any format builds for the declared size (floats of four
    // channels), its coded data twice over, and tables.
    decoder_allocation_limit = (size_t)(16 * (c.width + 32) * (c.height + 32) + 2 * file_size + (1 << 20));
    int channels = 0;
    stbi_uc *pixels;
    if (c.pnm_sample_bytes == 2) {
        pixels = decode_wide_pnm(file, c.pnm_channels, w, h);
    } else if (c.empty_idats > 0) {
        static const stbi_io_callbacks renaming = {read_renaming, skip_renaming, eof_renaming};
        renamed_chunks chunks = {file, c.empty_idat_at, c.empty_idats};
        pixels = stbi_load_from_callbacks(&renaming, &chunks, w, h, &channels, 4);
    } else {
        pixels = stbi_load_from_callbacks(&physfs_callbacks, file, w, h, &channels, 4);
    }
    decoder_allocation_limit = SIZE_MAX;
    return pixels;
}

static int32_t saturate_side(int64_t side) { return side > INT32_MAX ? INT32_MAX : (int32_t)side; }

image_load load_image_within(const char *path, int32_t max_width, int32_t max_height)
{
    image_load result = {nullptr, 0, 0, IMAGE_NOT_REFUSED};
    PHYSFS_File *file = files_open_regular(path);
    if (!file) return result;
    // The checks read a header, then the decoder asks for 128 bytes at a time: buffered,
    // that is a few reads of the file rather than one for every 128 bytes.
    PHYSFS_setBuffer(file, 64 * 1024);
    int64_t file_size = PHYSFS_fileLength(file);
    image_check c = {};
    if (file_size < 0) c.corrupt = true;
    else check_image(file, file_size, SDL_min(max_width, FRAME_MAX_TEXTURE_SIDE), SDL_min(max_height, FRAME_MAX_TEXTURE_SIDE), &c);
    result.width = saturate_side(c.width), result.height = saturate_side(c.height);
    result.refusal = c.too_large;
    if (!c.corrupt && c.too_large == IMAGE_NOT_REFUSED) {
        int w = 0, h = 0;
        stbi_uc *pixels = decode(file, file_size, c, &w, &h);
        // Decoded at another size than its header said: not the picture that was checked.
        if (pixels && (w != c.width || h != c.height)) {
            SDL_free(pixels);
            pixels = nullptr;
        }
        result.pixels = (uint32_t *)pixels;
    }
    PHYSFS_close(file);
    return result;
}

uint32_t *load_image(const char *path, int32_t *width, int32_t *height)
{
    image_load image = load_image_within(path, FRAME_MAX_TEXTURE_SIDE, FRAME_MAX_TEXTURE_SIDE);
    if (!image.pixels) return nullptr;
    if (width) *width = image.width;
    if (height) *height = image.height;
    return image.pixels;
}

void free_image(void *pixels) { SDL_free(pixels); }

uint8_t *encode_png(const uint32_t *pixels, int32_t width, int32_t height, int32_t out_width, int32_t out_height,
                    size_t *size)
{
    if (!pixels || width < 1 || height < 1 || frame_picture_bytes(width, height) < 0) return nullptr;
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom((void *)pixels, width, height, 32, width * 4,
                                                              SDL_PIXELFORMAT_ABGR8888);
    if (!surface) return nullptr;
    if (out_width > 0 && out_height > 0 && out_width != width && out_height != height) {
        SDL_Surface *scaled = frame_picture_bytes(out_width, out_height) < 0
                                  ? nullptr
                                  : SDL_CreateRGBSurfaceWithFormat(0, out_width, out_height, 32, SDL_PIXELFORMAT_ABGR8888);
        if (!scaled) {
            SDL_FreeSurface(surface);
            return nullptr;
        }
        // Copied, not blended onto the empty surface: translucent pixels keep their colour.
        SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
        SDL_UpperBlitScaled(surface, nullptr, scaled, nullptr);
        SDL_FreeSurface(surface);
        surface = scaled;
    }
    unsigned char *png = nullptr;
    size_t png_size = 0;
    LodePNGState state;
    lodepng_state_init(&state);
    unsigned error = lodepng_encode(&png, &png_size, (const unsigned char *)surface->pixels, (unsigned)surface->w,
                                    (unsigned)surface->h, &state);
    lodepng_state_cleanup(&state);
    SDL_FreeSurface(surface);
    if (error) {
        free(png);
        return nullptr;
    }
    // lodepng allocates with malloc; callers free with SDL_free.
    uint8_t *out = (uint8_t *)SDL_malloc(png_size);
    if (out) memcpy(out, png, png_size);
    free(png);
    if (out && size) *size = png_size;
    return out;
}
