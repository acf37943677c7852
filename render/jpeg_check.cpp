// The JPEG mirror: markers, tables, the bit reader and block decoding as the decoder runs
// them, keeping only what decides whether the file may be decoded.
#include "render/jpeg_check.h"
#include "render/byte_reader.h"

#include <SDL.h>
#include <limits.h>
#include <string.h>

// The decoder's own JPEG table builders, from a copy of the decoder of its own.
#define STBI_ONLY_JPEG
#include "render/stb_image_copy.h"

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
    int b = byte_reader_next(&j->r);
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
            if (!byte_reader_skip(&j->r, wide ? 126 : 63)) return false;
            length -= wide ? 129 : 65;
        }
        return length == 0;
    }
    if (marker == 0xDD) { // restart interval
        j->restart_interval = jpeg_byte(j) << 8;
        j->restart_interval |= jpeg_byte(j);
        return length == 4;
    }
    if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) return length >= 2 && byte_reader_skip(&j->r, length - 2);
    return false;
}

// The frame header; false where the decoder refuses it.
static bool jpeg_frame(jpeg_state *j, int marker, jpeg_size *c)
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

int jpeg_check_file(PHYSFS_File *file, int64_t file_size, int32_t max_width, int32_t max_height, jpeg_size *c)
{
    jpeg_state *j = (jpeg_state *)SDL_calloc(1, sizeof(jpeg_state));
    if (!j || !PHYSFS_seek(file, 0)) {
        SDL_free(j);
        return 0;
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
                if (byte_reader_at_end(&j->r)) goto done;
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
                while (j->marker < 0 && !byte_reader_at_end(&j->r))
                    if (jpeg_byte(j) == 0xFF) {
                        int next = jpeg_byte(j);
                        j->marker = next == 0xFF ? -1 : next;
                        break;
                    }
            } else if (m == 0xDC) { // the number of lines: checked by the decoder
                if (!byte_reader_skip(&j->r, 4)) goto done;
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
    bool refused = j->refused;
    for (jpeg_component &comp : j->component) SDL_free(comp.coefficients);
    SDL_free(j);
    return !refused;
}
