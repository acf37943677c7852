// Sound files into samples OpenAL takes: WAV through SDL's loader, Ogg Vorbis through
// stb_vorbis. Both decoders trust their input, so what either would mishandle is refused
// here first, and stb_vorbis works in memory we hand it and take back, whatever it says.
#include "audio/audio.h"
#include "base/files.h"
#include "base/physfsrwops.h"

#include <SDL.h>
#include <limits.h>
#include <math.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <stdint.h>
#include <physfs.h>
#include <stb_vorbis.h>
#include <string.h>

// All stb_vorbis may allocate for one file's tables (and itself): the files of common
// encoders need about 220 KB. It touches only what it uses.
static const int VORBIS_MEMORY = 8 << 20;
// The scratch space decoding one frame may take, beyond the tables: at most a table per
// channel of one pointer per partition, two channels of 8192-sample blocks split into
// 1-sample partitions (more than the inverse transform's 16 KB). stb_vorbis reckons half of
// it for one kind of residue and would write through a null pointer when short.
static const int VORBIS_FRAME_MEMORY = 2 * (8 + 8 * 8192) + 1024;

static uint32_t read_u32le(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void write_u32le(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}

static bool wav_magic(const uint8_t *bytes, size_t size)
{
    return (size >= 12 && memcmp(bytes, "RIFF", 4) == 0 && memcmp(bytes + 8, "WAVE", 4) == 0) ||
           (size >= 4 && memcmp(bytes, "WAVE", 4) == 0); // no RIFF header, as SDL allows
}

// SDL's loader allocates the length the data chunk declares before it reads what is there
// (4 GB for a file cut short). Answers where the first data chunk's length is (the one it
// plays, found as it walks the chunks) when that claims more than the file's size holds;
// 0 when it does not, SIZE_MAX when the walk leaves the bytes given.
static size_t wav_overlong_data_length(const uint8_t *bytes, size_t have, uint64_t file_size)
{
    uint64_t pos = memcmp(bytes, "RIFF", 4) == 0 ? 12 : 4;
    while (file_size - pos >= 8) {
        if (have < pos + 8) return SIZE_MAX;
        uint32_t length = read_u32le(bytes + pos + 4);
        uint64_t available = file_size - pos - 8;
        if (memcmp(bytes + pos, "data", 4) == 0) return length > available ? (size_t)pos + 4 : 0;
        if (length >= available) return 0;
        pos += 8 + (uint64_t)length + (length & 1);
    }
    return 0;
}

static int decode_wav(SDL_RWops *stream, audio_decoded *out)
{
    SDL_AudioSpec spec;
    Uint8 *data = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(stream, 1, &spec, &data, &length)) return 0;
    ALenum format = 0;
    int stereo = spec.channels == 2;
    if (spec.channels == 1 || spec.channels == 2) {
        if (spec.format == AUDIO_U8)
            format = stereo ? AL_FORMAT_STEREO8 : AL_FORMAT_MONO8;
        else if (spec.format == AUDIO_S16LSB)
            format = stereo ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
        else if (spec.format == AUDIO_F32LSB && audio_playlist.float32_supported)
            format = (ALenum)(stereo ? audio_playlist.format_stereo_float32 : audio_playlist.format_mono_float32);
    }
    // OpenAL takes whole frames only; a data chunk shorter than one frame is no sound.
    if (format) length -= length % (spec.channels * (SDL_AUDIO_BITSIZE(spec.format) / 8));
    // ADPCM and companded data grow as SDL decodes them.
    if (!format || length == 0 || length > AUDIO_SIZE_LIMIT) {
        SDL_FreeWAV(data);
        return 0;
    }
    out->wav = data;
    out->bytes = data;
    out->size = (ALsizei)length;
    out->format = format;
    out->channels = spec.channels;
    out->frequency = (uint32_t)spec.freq;
    return 1;
}

// The Ogg packets at the start of a file, byte by byte and bit by bit, read the way
// stb_vorbis reads them (pages back to back, serial numbers and checksums unread), so what
// is checked here is what it will see.
struct ogg_reader {
    const uint8_t *data;
    size_t size;
    size_t pos; // next unread byte
    const uint8_t *lacing;
    int segment_count;
    int next_segment; // -1 once the page's segments are used up
    int bytes_in_segment;
    bool last_segment; // the packet ends with the current segment
    bool broken;       // a page is missing, cut short or not where the packet goes on
    bool packet_over;  // a read went past the end of the packet
    uint64_t bits;
    int bit_count;
};

// Reads a page header at pos; answers its flags, or -1 (and broken) when there is none.
static int ogg_page(ogg_reader *r)
{
    const uint8_t *p = r->data + r->pos;
    size_t left = r->size - r->pos;
    if (left < 27 || memcmp(p, "OggS", 4) != 0 || p[4] != 0 || left - 27 < p[26] || p[26] == 0) {
        r->broken = true;
        return -1;
    }
    r->lacing = p + 27;
    r->segment_count = p[26];
    r->next_segment = 0;
    r->pos += 27 + (size_t)p[26];
    return p[5];
}

// The next segment of the packet; 0 when the packet is over (or the pages are broken).
static int ogg_next_segment(ogg_reader *r)
{
    if (r->last_segment || r->broken) return 0;
    if (r->next_segment == -1) {
        int flags = ogg_page(r);
        if (flags < 0) return 0;
        if (!(flags & 1)) { // the packet goes on only on a continued page
            r->broken = true;
            return 0;
        }
    }
    int length = r->lacing[r->next_segment++];
    if (length < 255) r->last_segment = true;
    if (r->next_segment >= r->segment_count) r->next_segment = -1;
    r->bytes_in_segment = length;
    return length;
}

// The next byte of the packet, or -1 past its end.
static int ogg_byte(ogg_reader *r)
{
    if (!r->bytes_in_segment && (r->last_segment || !ogg_next_segment(r))) {
        r->packet_over = true;
        return -1;
    }
    if (r->pos >= r->size) {
        r->broken = true;
        return -1;
    }
    r->bytes_in_segment--;
    return r->data[r->pos++];
}

// Skips n bytes of the packet; false when it holds fewer.
static bool ogg_skip(ogg_reader *r, uint32_t n)
{
    while (n) {
        if (!r->bytes_in_segment && (r->last_segment || !ogg_next_segment(r))) return false;
        uint32_t step = n < (uint32_t)r->bytes_in_segment ? n : (uint32_t)r->bytes_in_segment;
        if (r->size - r->pos < step) {
            r->broken = true;
            return false;
        }
        r->pos += step;
        r->bytes_in_segment -= (int)step;
        n -= step;
    }
    return true;
}

static bool ogg_u32(ogg_reader *r, uint32_t *v)
{
    uint32_t x = 0;
    for (int i = 0; i < 4; i++) {
        int b = ogg_byte(r);
        if (b < 0) return false;
        x |= (uint32_t)b << (8 * i);
    }
    *v = x;
    return true;
}

// Skips n bytes of the page data, past segment bounds (the rest of a packet).
static bool ogg_skip_raw(ogg_reader *r, size_t n)
{
    r->bytes_in_segment = 0;
    if (r->size - r->pos < n) {
        r->broken = true;
        return false;
    }
    r->pos += n;
    return true;
}

// Skips the rest of the packet and starts the next one, on a page of its own when the
// last one ended its page, as stb_vorbis does after the comment header.
static bool ogg_next_packet(ogg_reader *r)
{
    if (!ogg_skip_raw(r, (size_t)r->bytes_in_segment)) return false;
    int length;
    do {
        length = ogg_next_segment(r);
        if (r->broken || !ogg_skip_raw(r, (size_t)length)) return false;
    } while (length);
    if (r->next_segment == -1) {
        int flags = ogg_page(r);
        if (flags < 0 || (flags & 1)) return false;
    }
    r->last_segment = false;
    r->packet_over = false;
    r->bits = 0;
    r->bit_count = 0;
    return true;
}

// n bits of the packet, least significant first; 0 once the packet is over.
static uint32_t ogg_bits(ogg_reader *r, int n)
{
    while (r->bit_count < n) {
        int b = r->packet_over ? -1 : ogg_byte(r);
        if (b < 0) {
            r->packet_over = true;
            return 0;
        }
        r->bits |= (uint64_t)b << r->bit_count;
        r->bit_count += 8;
    }
    uint32_t v = (uint32_t)(r->bits & ((1ull << n) - 1));
    r->bits >>= n;
    r->bit_count -= n;
    return v;
}

// Packet 1: the identification header, whole on the first page as stb_vorbis requires.
static bool vorbis_identification_ok(ogg_reader *r)
{
    int flags = ogg_page(r);
    if (flags < 0 || (flags & 7) != 2 || r->segment_count != 1 || r->lacing[0] != 30 || r->size - r->pos < 30)
        return false;
    const uint8_t *p = r->data + r->pos;
    uint32_t rate = read_u32le(p + 12);
    int log0 = p[28] & 15, log1 = p[28] >> 4;
    r->pos += 30;
    r->next_segment = -1;
    // Only mono and stereo become buffers, so nothing else is decoded.
    return p[0] == 1 && memcmp(p + 1, "vorbis", 6) == 0 && read_u32le(p + 7) == 0 && (p[11] == 1 || p[11] == 2) &&
           rate != 0 && rate <= INT_MAX && log0 >= 6 && log1 <= 13 && log0 <= log1 && (p[29] & 1);
}

// Packet 2: every length in the comment header must fit in the packet. stb_vorbis reads a
// longer one past the packet's end (with undefined shifts) and sizes its allocations by it.
static bool vorbis_comments_ok(ogg_reader *r)
{
    int flags = ogg_page(r);
    if (flags < 0 || ogg_byte(r) != 3) return false;
    for (int i = 0; i < 6; i++)
        if (ogg_byte(r) != "vorbis"[i]) return false;
    uint32_t length = 0, count = 0;
    if (!ogg_u32(r, &length) || length > INT_MAX - 1 || !ogg_skip(r, length) || !ogg_u32(r, &count)) return false;
    for (uint32_t i = 0; i < count; i++)
        if (!ogg_u32(r, &length) || length > INT_MAX - 1 || !ogg_skip(r, length)) return false;
    int framing = ogg_byte(r);
    return framing >= 0 && (framing & 1) && !r->broken;
}

// stb_vorbis converts some doubles to int past int's range; x86-64 gives INT_MIN there.
static int stb_int(double v) { return v >= -2147483648.0 && v < 2147483648.0 ? (int)v : INT_MIN; }

// The number of values of a lookup-type-1 codebook, computed as stb_vorbis computes it
// (the same float steps), so the walk skips exactly the bits it reads.
static int vorbis_lookup1_values(int entries, int dim)
{
    if (dim <= 0) return -1; // what its formula comes to, without dividing by zero
    int r = stb_int(floor(exp((double)((float)log((double)(float)entries) / (float)dim))));
    if (stb_int(floor(pow((double)((float)r + 1), (double)dim))) <= entries) ++r;
    if (pow((double)((float)r + 1), (double)dim) <= entries) return -1;
    if (stb_int(floor(pow((double)(float)r, (double)dim))) > entries) return -1;
    return r;
}

// Packet 3, as far as its codebooks: stb_vorbis sizes a codebook's value table by entries
// times dimensions in int arithmetic, so a large product wraps to a small allocation it
// then writes past. A codebook needing more than the decoder's memory is refused. Where
// the walk meets something stb_vorbis rejects by itself, it stops, as stb_vorbis will.
static bool vorbis_codebooks_ok(ogg_reader *r)
{
    if (!ogg_next_packet(r) || ogg_byte(r) != 5) return false;
    for (int i = 0; i < 6; i++)
        if (ogg_byte(r) != "vorbis"[i]) return false;
    int codebook_count = (int)ogg_bits(r, 8) + 1;
    for (int i = 0; i < codebook_count && !r->packet_over; i++) {
        if (ogg_bits(r, 24) != 0x564342) return !r->broken;
        int dimensions = (int)ogg_bits(r, 16);
        int entries = (int)ogg_bits(r, 24);
        int ordered = (int)ogg_bits(r, 1);
        int sparse = ordered ? 0 : (int)ogg_bits(r, 1);
        if ((dimensions == 0 && entries != 0) || entries > VORBIS_MEMORY) return !r->broken;
        int used = 0; // entries with a codeword
        if (ordered) {
            int current = 0, length = (int)ogg_bits(r, 5) + 1;
            while (current < entries && !r->packet_over) {
                int limit = entries - current, bits = 0;
                while (limit >> bits) bits++;
                int n = (int)ogg_bits(r, bits);
                if (length >= 32 || current + n > entries) return !r->broken;
                current += n;
                length++;
            }
        } else {
            for (int j = 0; j < entries && !r->packet_over; j++) {
                if (sparse && !ogg_bits(r, 1)) continue;
                used++;
                if (ogg_bits(r, 5) == 31) return !r->broken;
            }
            if (sparse && used >= entries >> 2) sparse = 0; // stored whole after all
        }
        if (r->packet_over) break; // stb_vorbis reads zeros from here: no table, then no codebook
        int lookup_type = (int)ogg_bits(r, 4);
        if (lookup_type > 2) return !r->broken;
        if (lookup_type == 0) continue;
        uint64_t values = (uint64_t)(sparse && lookup_type == 1 ? used : entries) * (uint64_t)dimensions;
        if (values * sizeof(float) > (uint64_t)VORBIS_MEMORY) return false;
        ogg_bits(r, 32); // minimum
        ogg_bits(r, 32); // delta
        int value_bits = (int)ogg_bits(r, 4) + 1;
        ogg_bits(r, 1); // sequence
        int64_t lookup_values = lookup_type == 1 ? vorbis_lookup1_values(entries, dimensions)
                                                 : (int64_t)entries * dimensions;
        if (lookup_values <= 0) return !r->broken;
        for (int64_t j = 0; j < lookup_values && !r->packet_over; j++) ogg_bits(r, value_bits);
    }
    return !r->broken;
}

// Whether stb_vorbis can be given the file: its three headers read as it reads them, with
// nothing in them that it would mishandle.
static bool vorbis_headers_ok(const uint8_t *bytes, size_t size)
{
    ogg_reader r = {};
    r.data = bytes;
    r.size = size;
    r.next_segment = -1;
    return vorbis_identification_ok(&r) && vorbis_comments_ok(&r) && vorbis_codebooks_ok(&r);
}

// A decoded sample as 16 bits. stb_vorbis's own conversion overflows int on the values a
// corrupt stream decodes to; this one clamps first (NaN to the lowest), then rounds half away
// from zero.
static inline short sample_to_s16(float x)
{
    float s = fminf(fmaxf(x * 32768.0f, -32768.0f), 32767.0f);
    return (short)(int)(s + copysignf(0.5f, s));
}

#if defined(__SSE2__)
// Four samples as sample_to_s16 gives them (MAXPS answers its second operand for a NaN).
static inline __m128i four_to_s32(const float *p)
{
    __m128 s = _mm_mul_ps(_mm_loadu_ps(p), _mm_set1_ps(32768.0f));
    s = _mm_min_ps(_mm_max_ps(s, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
    s = _mm_add_ps(s, _mm_or_ps(_mm_set1_ps(0.5f), _mm_and_ps(s, _mm_set1_ps(-0.0f))));
    return _mm_cvttps_epi32(s);
}
#endif

// n frames of one or two channels, interleaved into out. Eight at a time where the
// processor has SSE2: a minute of stereo is millions of samples.
static void frames_to_s16(float *const *in, int channels, int n, short *out)
{
    int i = 0;
#if defined(__SSE2__)
    for (; channels <= 2 && i + 8 <= n; i += 8) {
        __m128i first = _mm_packs_epi32(four_to_s32(in[0] + i), four_to_s32(in[0] + i + 4));
        if (channels == 1) {
            _mm_storeu_si128((__m128i *)(out + i), first);
            continue;
        }
        __m128i second = _mm_packs_epi32(four_to_s32(in[1] + i), four_to_s32(in[1] + i + 4));
        _mm_storeu_si128((__m128i *)(out + 2 * i), _mm_unpacklo_epi16(first, second));
        _mm_storeu_si128((__m128i *)(out + 2 * i + 8), _mm_unpackhi_epi16(first, second));
    }
#endif
    for (; i < n; i++)
        for (int c = 0; c < channels; c++) out[channels * i + c] = sample_to_s16(in[c][i]);
}

// Every frame of the stream as interleaved 16-bit samples (SDL_malloc'ed); NULL when
// there is none or more than a sound may hold (*too_long then).
static short *vorbis_decode_all(stb_vorbis *v, int channels, size_t *frames, bool *too_long)
{
    const size_t most = AUDIO_SIZE_LIMIT / sizeof(short);
    size_t capacity = 65536 * (size_t)channels, used = 0; // in shorts
    short *samples = (short *)SDL_malloc(capacity * sizeof(short));
    float **outputs = nullptr;
    int n;
    while (samples && (n = stb_vorbis_get_frame_float(v, nullptr, &outputs)) > 0) {
        size_t count = (size_t)n * (size_t)channels;
        if (used + count > most) {
            *too_long = true;
            SDL_free(samples);
            return nullptr;
        }
        if (used + count > capacity) {
            while (used + count > capacity) capacity *= 2;
            if (capacity > most) capacity = most;
            short *grown = (short *)SDL_realloc(samples, capacity * sizeof(short));
            if (!grown) SDL_free(samples);
            samples = grown;
            if (!samples) break;
        }
        frames_to_s16(outputs, channels, n, samples + used);
        used += count;
    }
    *frames = used / (size_t)channels;
    if (samples && !used) {
        SDL_free(samples);
        return nullptr;
    }
    return samples;
}

// 1 decoded, 0 not a playable Ogg Vorbis stream, -1 longer than a sound may be.
static int decode_ogg(const uint8_t *bytes, size_t size, audio_decoded *out)
{
    if (size > INT_MAX || !vorbis_headers_ok(bytes, size)) return 0;
    char *memory = (char *)SDL_malloc(VORBIS_MEMORY + VORBIS_FRAME_MEMORY);
    if (!memory) return 0;
    // The tables first, alone (opening for whole-file decoding decodes a frame at once):
    // built within VORBIS_MEMORY, they leave decoding the room it needs past it.
    stb_vorbis_alloc tables = {memory, VORBIS_MEMORY};
    int consumed = 0, error = 0;
    stb_vorbis *v = stb_vorbis_open_pushdata(bytes, (int)size, &consumed, &error, &tables);
    unsigned tables_size = v ? stb_vorbis_get_info(v).setup_memory_required : 0;
    stb_vorbis_close(v); // frees nothing: all it holds is in our memory
    stb_vorbis_alloc all = {memory, VORBIS_MEMORY + VORBIS_FRAME_MEMORY};
    v = tables_size ? stb_vorbis_open_memory(bytes, (int)size, nullptr, &all) : nullptr;
    stb_vorbis_info info = v ? stb_vorbis_get_info(v) : stb_vorbis_info{};
    size_t frames = 0;
    bool too_long = false;
    short *samples = v && info.setup_memory_required == tables_size
                         ? vorbis_decode_all(v, info.channels, &frames, &too_long)
                         : nullptr;
    stb_vorbis_close(v);
    SDL_free(memory);
    if (!samples) return too_long ? -1 : 0;
    out->ogg = samples;
    out->bytes = samples;
    out->size = (ALsizei)(frames * (size_t)info.channels * sizeof(short));
    out->format = info.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    out->channels = (uint32_t)info.channels;
    out->frequency = info.sample_rate;
    return 1;
}

audio_decode_result audio_decode_file(const char *path, audio_decoded *out)
{
    *out = audio_decoded{};
    PHYSFS_Stat st;
    if (!PHYSFS_stat(path, &st)) return AUDIO_DECODE_UNREADABLE;
    if (st.filesize > (PHYSFS_sint64)AUDIO_SIZE_LIMIT) return AUDIO_DECODE_TOO_LARGE; // not even read
    SDL_RWops *stream = PHYSFSRWOPS_openRead(path);
    if (!stream) return AUDIO_DECODE_UNREADABLE;
    // A WAV whose data chunk fits its file streams straight into SDL's loader; any other
    // file is read whole, once.
    uint8_t head[4096];
    size_t have = SDL_RWread(stream, head, 1, sizeof head);
    int64_t file_size = SDL_RWsize(stream);
    bool wav = wav_magic(head, have);
    if (file_size < 0 || (uint64_t)file_size > AUDIO_SIZE_LIMIT) { // grown since it was looked at
        SDL_RWclose(stream);
        return file_size < 0 ? AUDIO_DECODE_UNREADABLE : AUDIO_DECODE_TOO_LARGE;
    }
    if (wav && wav_overlong_data_length(head, have, (uint64_t)file_size) == 0 && SDL_RWseek(stream, 0, RW_SEEK_SET) == 0)
        return decode_wav(stream, out) ? AUDIO_DECODE_OK : AUDIO_DECODE_UNUSABLE;
    SDL_RWclose(stream);
    size_t size = 0;
    uint8_t *bytes = (uint8_t *)loadfile(path, &size);
    if (!bytes) return AUDIO_DECODE_UNREADABLE;
    int result = -1; // grown past the limit meanwhile
    if (size <= AUDIO_SIZE_LIMIT && wav) {
        size_t at = wav_overlong_data_length(bytes, size, size);
        if (at && at != SIZE_MAX) write_u32le(bytes + at, (uint32_t)(size - at - 4)); // what the file holds
        result = decode_wav(SDL_RWFromConstMem(bytes, (int)size), out);
    } else if (size <= AUDIO_SIZE_LIMIT) {
        result = decode_ogg(bytes, size, out);
    }
    SDL_free(bytes);
    return result == 1 ? AUDIO_DECODE_OK : result == 0 ? AUDIO_DECODE_UNUSABLE : AUDIO_DECODE_TOO_LARGE;
}

void audio_decoded_free(audio_decoded *decoded)
{
    if (decoded->wav) SDL_FreeWAV(decoded->wav);
    SDL_free(decoded->ogg);
    *decoded = audio_decoded{};
}
