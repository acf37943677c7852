// Sound end to end inside one process: the runtime's audio hash walked by the host, real
// files through PhysicsFS, and OpenAL's loopback device rendering the mix on demand, so
// what is heard is checked sample by sample without a clock.
#include "audio/audio.h"
#include "base/ruby.h"
#include "ffi/ffi.h"
#include "host/audio_sync.h"
#include "support/host_test.h"

// The loopback device is an extension: its functions are declared only on request.
#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alext.h>
#include <gtest/gtest.h>
#define STB_VORBIS_HEADER_ONLY // the runtime holds its implementation
#include <stb_vorbis.h>
#include <math.h>
#include <mruby/hash.h>
#include <random>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

static const int RATE = 44100;

// Bytes asked of SDL's allocator while a counter lives. Sound files are read and decoded
// into SDL's memory, so steps that ask for (almost) none read and decoded nothing.
static SDL_malloc_func real_malloc;
static SDL_calloc_func real_calloc;
static SDL_realloc_func real_realloc;
static SDL_free_func real_free;
static size_t sdl_bytes_asked;

struct sdl_allocation_counter {
    sdl_allocation_counter()
    {
        SDL_GetMemoryFunctions(&real_malloc, &real_calloc, &real_realloc, &real_free);
        SDL_SetMemoryFunctions([](size_t n) { return sdl_bytes_asked += n, real_malloc(n); },
                               [](size_t k, size_t n) { return sdl_bytes_asked += k * n, real_calloc(k, n); },
                               [](void *p, size_t n) { return sdl_bytes_asked += n, real_realloc(p, n); }, real_free);
        sdl_bytes_asked = 0;
    }
    ~sdl_allocation_counter() { SDL_SetMemoryFunctions(real_malloc, real_calloc, real_realloc, real_free); }
};

static std::string with_u32(std::string s, size_t at, uint32_t v) { return s.replace(at, 4, (const char *)&v, 4); }
static std::string with_u16(std::string s, size_t at, uint16_t v) { return s.replace(at, 2, (const char *)&v, 2); }
static std::string flipped(std::string s, size_t at, int bit)
{
    s[at] ^= (char)(1 << bit);
    return s;
}

class Audio : public ::testing::Test
{
  protected:
    host_fixture fx;
    sdl_log_capture log;

    void SetUp() override
    {
        ASSERT_TRUE(host_fixture_up(&fx, true));
        SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_LOG_PRIORITY_DEBUG);
        const ALCint attributes[] = {
            ALC_FREQUENCY, RATE, ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT, 0};
        ASSERT_TRUE(audio_init_device(alcLoopbackOpenDeviceSOFT(nullptr), attributes));
        ASSERT_TRUE(audio_playlist.float32_supported);
        put("sounds/tone.wav", make_wav(1, 1, 16, 22050, 2205)); // 0.1 s
    }

    void TearDown() override
    {
        audio_quit();
        EXPECT_EQ(nullptr, audio_playlist.sources);
        EXPECT_EQ(nullptr, audio_playlist.buffer_cache);
        host_fixture_down(&fx);
    }

    void put(const std::string &path, const std::string &bytes) { write_file(fx.game_dir + "/" + path, bytes); }
    // Rewrites a file as a changed one: a later modification time, even at the same size.
    void replace(const std::string &path, const std::string &bytes)
    {
        put(path, bytes);
        struct timeval later[2] = {{time(nullptr) + 100, 0}, {time(nullptr) + 100, 0}};
        utimes((fx.game_dir + "/" + path).c_str(), later);
    }
    std::string eval(const std::string &code) { return host_fixture_eval(code); }
    void sync() { audio_sync_sources(&test_game); }
    // Runs the code, then one step's sync, as the host does after the game's tick.
    void step(const std::string &code)
    {
        eval(code);
        sync();
    }

    // Renders seconds of the mix; answers the RMS level of the left and right channels.
    std::pair<double, double> render(double seconds)
    {
        std::vector<float> buf((size_t)(seconds * RATE) * 2);
        alcRenderSamplesSOFT(audio_playlist.device, buf.data(), (ALCsizei)(buf.size() / 2));
        double l = 0, r = 0;
        for (size_t i = 0; i < buf.size(); i += 2) {
            l += buf[i] * buf[i];
            r += buf[i + 1] * buf[i + 1];
        }
        size_t n = buf.size() / 2;
        return {sqrt(l / n), sqrt(r / n)};
    }
    double level(double seconds)
    {
        auto lr = render(seconds);
        return lr.first + lr.second;
    }

    // The live source behind args.audio[key], or NULL.
    audio_source *source_of(const char *key)
    {
        mrb_state *mrb = test_game.interpreter;
        mrb_value audio = ruby_call0(mrb, test_game.runtime, "audio");
        mrb_value entry = mrb_hash_fetch(mrb, audio, mrb_symbol_value(mrb_intern_cstr(mrb, key)), mrb_nil_value());
        if (!mrb_hash_p(entry)) return nullptr;
        void *p = ffi_cptr_get(mrb_hash_get(mrb, entry, mrb_symbol_value(mrb_intern_lit(mrb, "cptr"))));
        return audio_source_is_live(p) ? (audio_source *)p : nullptr;
    }
    ALint state_of(const char *key)
    {
        ALint state = 0;
        audio_source *s = source_of(key);
        if (s) alGetSourcei(s->al_source, AL_SOURCE_STATE, &state);
        return state;
    }
    int logged(const std::string &text) { return log.count(text); }
    int live_sources()
    {
        int n = 0;
        for (audio_source *s = audio_playlist.sources; s; s = s->next) n++;
        return n;
    }
};

TEST_F(Audio, EveryAcceptedWavFormatPlaysAndOthersFailOnceAndAreRetried)
{
    struct {
        const char *name;
        int tag, channels, bits;
        bool plays;
    } cases[] = {
        {"u8_mono", 1, 1, 8, true},     {"u8_stereo", 1, 2, 8, true}, {"s16_mono", 1, 1, 16, true},
        {"s16_stereo", 1, 2, 16, true}, {"f32_mono", 3, 1, 32, true}, {"f32_stereo", 3, 2, 32, true},
        {"s32_mono", 1, 1, 32, false},  {"s16_3ch", 1, 3, 16, false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = std::string("sounds/") + c.name + ".wav";
        put(path, make_wav(c.tag, c.channels, c.bits, 22050, 4410));
        step("$zoq.audio.clear; $zoq.audio[:s] = { input: '" + path + "' }");
        EXPECT_EQ(c.plays ? "true" : "false", eval("$zoq.audio.key?(:s)"));
        EXPECT_EQ(c.plays, level(0.1) > 0.1);
    }
    EXPECT_EQ(1, logged("\"sounds/s32_mono.wav\" can't be played: Unsupported or corrupted audio file."));

    // A missing file, then garbage, each asked for on three steps: reported once by name.
    put("sounds/junk.ogg", "OggS but not really a stream");
    for (int round = 0; round < 3; round++) {
        step("$zoq.audio[:m] = { input: 'sounds/missing.wav' }; $zoq.audio[:g] = { input: 'sounds/junk.ogg' }; "
             "$zoq.audio[:ok] ||= { input: 'sounds/tone.wav', looping: true }; nil");
        EXPECT_EQ("[:ok]", eval("$zoq.audio.keys"));
    }
    EXPECT_EQ(1, logged("\"sounds/missing.wav\" can't be played: The file can't be read."));
    EXPECT_EQ(1, logged("\"sounds/junk.ogg\" can't be played: Unsupported or corrupted audio file."));
    EXPECT_GT(level(0.05), 0.1); // the other sound goes on

    // Nothing was cached for the failures: once the file is good, the same path plays.
    put("sounds/junk.ogg", read_file(ZINTAREL_TEST_DATA "/tone_mono.ogg"));
    step("$zoq.audio[:g] = { input: 'sounds/junk.ogg' }");
    EXPECT_EQ("true", eval("$zoq.audio.key?(:g)"));
}

TEST_F(Audio, AFileIsDecodedOnceAndCountsItsSources)
{
    step("$zoq.audio[:a] = { input: 'sounds/tone.wav' }; $zoq.audio[:b] = { input: 'sounds/tone.wav' }");
    ASSERT_NE(nullptr, audio_playlist.buffer_cache);
    EXPECT_EQ(nullptr, audio_playlist.buffer_cache->next);
    EXPECT_EQ(2u, audio_playlist.buffer_cache->refcount);
    EXPECT_EQ(source_of("a")->cache_entry, source_of("b")->cache_entry);
    step("$zoq.audio.delete(:a); nil");
    EXPECT_EQ(1u, audio_playlist.buffer_cache->refcount);
    step("$zoq.audio.clear");
    EXPECT_EQ(0u, audio_playlist.buffer_cache->refcount);
    step("$zoq.audio[:c] = { input: 'sounds/tone.wav' }");
    EXPECT_EQ(1u, audio_playlist.buffer_cache->refcount);
    EXPECT_EQ(1, logged("Load new audio file:"));
}

TEST_F(Audio, SoundsFinishLoopPauseResumeAndPan)
{
    // Integers count as numbers: gain 1 is full volume and x 1 is to the right.
    step("$zoq.audio[:once] = { input: 'sounds/tone.wav', x: 1, gain: 1 }; "
         "$zoq.audio[:loop] = { input: 'sounds/tone.wav', looping: true, x: -1.0, gain: 0.5 }; "
         "$zoq.audio[:wait] = { input: 'sounds/tone.wav', paused: true }");
    EXPECT_EQ(AL_INITIAL, state_of("wait"));
    auto lr = render(0.05);
    // The full-volume sound on the right outweighs the half-volume one on the left.
    EXPECT_GT(lr.second, 1.5 * lr.first);
    EXPECT_GT(lr.first, 0.02);
    render(0.1);
    sync(); // the one-off has played out: its key goes
    EXPECT_EQ("[:loop, :wait]", eval("$zoq.audio.keys"));
    step("$zoq.audio[:loop][:paused] = true; $zoq.audio[:wait][:paused] = false");
    EXPECT_EQ(AL_PAUSED, state_of("loop"));
    EXPECT_EQ(AL_PLAYING, state_of("wait"));
    EXPECT_EQ("[:loop, :wait]", eval("$zoq.audio.keys"));
    render(0.2);
    sync();
    EXPECT_EQ("[:loop]", eval("$zoq.audio.keys"));
    EXPECT_LT(level(0.05), 1e-4); // the paused loop is silent
    step("$zoq.audio[:loop][:paused] = nil");
    EXPECT_EQ(AL_PLAYING, state_of("loop"));
    auto resumed = render(0.3);
    EXPECT_GT(resumed.first, 1.5 * resumed.second); // on the left, and still looping
    sync();
    EXPECT_EQ("[:loop]", eval("$zoq.audio.keys"));
    // Removing the key stops the source at the next step.
    step("$zoq.audio.delete(:loop); nil");
    EXPECT_EQ(0, live_sources());
    EXPECT_LT(level(0.05), 1e-4);
}

TEST_F(Audio, GeneratedSamplesAndOggFiles)
{
    put("sounds/tone.ogg", read_file(ZINTAREL_TEST_DATA "/tone_mono.ogg"));
    put("sounds/three.ogg", read_file(ZINTAREL_TEST_DATA "/tone_3ch.ogg"));
    step("$zoq.audio[:samples] = { input: [1, 44100, [0.0, 0.5, -0.5, 1]] }; "
         "$zoq.audio[:ogg] = { input: 'sounds/tone.ogg', x: 1.0 }; "
         "$zoq.audio[:three] = { input: 'sounds/three.ogg' }; "
         "$zoq.audio[:stereo3] = { input: [3, 44100, [0.5, 0.5, 0.5]] }; "
         "$zoq.audio[:nofreq] = { input: [1, 0, [0.5]] }");
    EXPECT_EQ("[:samples, :ogg]", eval("$zoq.audio.keys"));
    EXPECT_EQ(1u, audio_playlist.buffer_cache->channels);
    EXPECT_EQ(22050u, audio_playlist.buffer_cache->frequency);
    std::vector<float> buf(8 * 2);
    step("$zoq.audio.delete(:ogg); nil");
    alcRenderSamplesSOFT(audio_playlist.device, buf.data(), 8);
    // Four samples of centred mono, the Integer 1 among them taken as full scale.
    float peak = 0, trough = 0;
    for (float v : buf) peak = fmaxf(peak, v), trough = fminf(trough, v);
    EXPECT_GT(peak, 0.3f);
    EXPECT_LT(trough, -0.2f);
    EXPECT_FLOAT_EQ(0.0f, buf[10]);
    render(0.01);
    sync();
    EXPECT_EQ("[]", eval("$zoq.audio.keys"));

    // The ogg again, on the right: heard there, and it ends by itself.
    step("$zoq.audio[:ogg] = { input: 'sounds/tone.ogg', x: 1 }");
    auto lr = render(0.2);
    EXPECT_GT(lr.second, 0.05);
    EXPECT_GT(lr.second, 1.5 * lr.first);
    render(0.2);
    sync();
    EXPECT_EQ("[]", eval("$zoq.audio.keys"));
}

// An Ogg's samples are the decoder's frames scaled to 16 bits, rounded half away from zero
// and clamped: the same for every sample, however many the conversion takes at once.
TEST_F(Audio, OggSamplesAreTheDecodedFramesInSixteenBits)
{
    const std::string ogg = read_file(ZINTAREL_TEST_DATA "/tone_mono.ogg");
    put("sounds/tone.ogg", ogg);
    audio_decoded decoded;
    ASSERT_EQ(AUDIO_DECODE_OK, audio_decode_file("sounds/tone.ogg", &decoded));
    std::vector<short> expected;
    int error = 0;
    stb_vorbis *v = stb_vorbis_open_memory((const unsigned char *)ogg.data(), (int)ogg.size(), &error, nullptr);
    ASSERT_TRUE(v);
    float **frame = nullptr;
    for (int n; (n = stb_vorbis_get_frame_float(v, nullptr, &frame)) > 0;)
        for (int i = 0; i < n; i++) {
            double s = std::min(32767.0, std::max(-32768.0, (double)frame[0][i] * 32768.0));
            expected.push_back((short)(s < 0 ? ceil(s - 0.5) : floor(s + 0.5)));
        }
    stb_vorbis_close(v);
    ASSERT_EQ(expected.size() * sizeof(short), (size_t)decoded.size);
    const short *got = (const short *)decoded.bytes;
    for (size_t i = 0; i < expected.size(); i++) ASSERT_EQ(expected[i], got[i]) << "sample " << i;
    audio_decoded_free(&decoded);
}

TEST_F(Audio, StreamsPlayStarveRecoverAndEnd)
{
    // Each call answers 256 mono samples of a square wave until $left runs out.
    step("$calls = 0; $left = 1000; "
         "$zoq.audio[:stream] = { input: [1, 44100, -> { $calls += 1; $left -= 1; "
         "$left >= 0 ? Array.new(256) { |i| i < 128 ? 0.5 : -0.5 } : nil }] }; "
         "$zoq.audio[:none] = { input: [1, 44100, -> { nil }] }; "
         "$zoq.audio[:empty] = { input: [2, 44100, -> { [] }] }; "
         "$zoq.audio[:raises] = { input: [1, 44100, -> { raise 'boom' }] }");
    EXPECT_EQ("2", eval("$calls"));
    EXPECT_EQ("[:stream, :empty]", eval("$zoq.audio.keys"));
    EXPECT_EQ(1, logged("boom"));
    EXPECT_GT(level(0.005), 0.1);
    eval("$zoq.audio.delete(:empty); nil");
    // Left alone far longer than its two buffers last, the stream starves and stops.
    render(0.1);
    EXPECT_EQ(AL_STOPPED, state_of("stream"));
    sync();
    EXPECT_EQ(1, logged("buffer queue starvation"));
    EXPECT_EQ(AL_PLAYING, state_of("stream"));
    EXPECT_GT(level(0.005), 0.1);
    // The callable says stop: what is queued plays out, then the entry goes.
    eval("$left = 0");
    render(0.005);
    sync();
    EXPECT_TRUE(source_of("stream")->draining);
    render(0.05);
    sync();
    EXPECT_EQ("[]", eval("$zoq.audio.keys"));
}

TEST_F(Audio, InvalidEntriesAndHandlesAreDroppedWithoutHarm)
{
    put("sounds/fresh.wav", make_wav(1, 1, 16, 22050, 2205));
    step("$zoq.audio[:a] = { input: 'sounds/tone.wav', looping: true }; nil");
    audio_source *a = source_of("a");
    ASSERT_NE(nullptr, a);
    step("au = $zoq.audio; au[:copy] = au[:a].dup; au[:not_hash] = 5; au[:int_cptr] = { input: 'x.wav', cptr: 5 }; "
         "au[:nil_input] = {}; au[:short] = { input: [2, 48000] }; au[:bad_source] = { input: [1, 44100, 5] }; "
         "au[:null_cptr] = { input: 'sounds/tone.wav', cptr: FFI::CPtr.new }; au[:odd] = { input: 42 }; "
         "au[:nul] = { input: \"sounds/fresh.wav\\0x\" }; au[:frozen] = { input: 'sounds/tone.wav' }.freeze");
    EXPECT_EQ("[:a]", eval("$zoq.audio.keys"));
    EXPECT_EQ(0, logged("sounds/fresh.wav")) << "a path with a NUL byte names no file";
    EXPECT_EQ(nullptr, audio_playlist.buffer_cache->next);
    EXPECT_EQ(a, source_of("a"));
    EXPECT_EQ(1, live_sources());
    // A handle kept after its key went names a stopped source: the entry that carries it is dropped.
    step("$old = $zoq.audio.delete(:a); nil");
    EXPECT_EQ(0, live_sources());
    step("$zoq.audio[:b] = { input: 'sounds/tone.wav' }");
    step("$zoq.audio[:stale] = $old; nil");
    EXPECT_EQ("[:b]", eval("$zoq.audio.keys"));
    EXPECT_EQ(1, live_sources());
}

TEST_F(Audio, ThreeHundredRequestsAtOnceFailCleanlyPastTheSourceLimit)
{
    step("300.times { |i| $zoq.audio[i] = { input: 'sounds/tone.wav', looping: true } }");
    int kept = atoi(eval("$zoq.audio.size").c_str());
    EXPECT_GE(kept, 200);
    EXPECT_EQ(kept, live_sources());
    EXPECT_EQ(std::to_string(kept), eval("$zoq.audio.values.count { |e| e[:cptr] }"));
    EXPECT_EQ(kept < 300 ? 1 : 0, logged("Too many sounds at once"));
    render(0.01);
    sync();
    EXPECT_EQ(kept, live_sources());
}

// The game's own `args.audio[:k] ||= { input: path, looping: true }` for each path, at every tick.
static std::string ask_every_tick(const std::vector<std::string> &paths)
{
    std::string code;
    for (const std::string &path : paths)
        code += "$zoq.audio[:'" + path + "'] ||= { input: 'sounds/" + path + "', looping: true }; ";
    return code + "nil";
}

TEST_F(Audio, BrokenFilesFailOnceAndAreReadAgainOnlyWhenChanged)
{
    const std::string ogg = read_file(ZINTAREL_TEST_DATA "/tone_mono.ogg");
    const std::string wav = make_wav(1, 1, 16, 22050, 2205);
    ASSERT_EQ(3752u, ogg.size());
    // In tone_mono.ogg the comment header starts at byte 99 (vendor length at 106, 52 bytes
    // of vendor, the comment count at 162), the setup header at 167, the audio at 3381.
    struct {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"empty.ogg", ""},
        {"cut_in_page_header.ogg", ogg.substr(0, 20)},
        {"cut_in_identification.ogg", ogg.substr(0, 57)},
        {"cut_in_comments.ogg", ogg.substr(0, 120)},
        {"cut_in_setup.ogg", ogg.substr(0, 1500)},
        {"headers_only.ogg", ogg.substr(0, 3381)},
        {"wrong_magic.ogg", "OggT" + ogg.substr(4)},
        {"vendor_past_packet.ogg", with_u32(ogg, 106, 0x7ffffff0)},
        {"vendor_too_long.ogg", with_u32(ogg, 106, 52 + 16)},
        {"comment_count_huge.ogg", with_u32(ogg, 162, 0x10000001)},
        {"comment_past_packet.ogg", with_u32(ogg, 162, 1)},
        {"codebook_entries_flipped.ogg", flipped(ogg, 411, 3)},
        {"codebook_dimensions_flipped.ogg", flipped(ogg, 1513, 5)},
        {"codebook_lengths_flipped.ogg", flipped(ogg, 2555, 1)},
        {"cut_in_riff.wav", wav.substr(0, 10)},
        {"cut_in_fmt.wav", wav.substr(0, 30)},
        {"header_only.wav", wav.substr(0, 44)},
        {"less_than_a_frame.wav", wav.substr(0, 45)},
        {"no_channels.wav", with_u16(wav, 22, 0)},
        {"fmt_length_huge.wav", with_u32(wav, 16, 0xfffffff0)},
        {"wrong_magic.wav", "RIFX" + wav.substr(4)},
        {"too_large.ogg", ""},
    };
    std::vector<std::string> names;
    size_t total = 0;
    for (auto &c : cases) {
        put("sounds/" + std::string(c.name), c.bytes);
        names.push_back(c.name);
        total += c.bytes.size();
    }
    // Sparse: a file of that size costs no disk, and reading it would show in the count.
    ASSERT_EQ(0, truncate((fx.game_dir + "/sounds/too_large.ogg").c_str(), (off_t)AUDIO_SIZE_LIMIT + 1));

    sdl_allocation_counter counter;
    step(ask_every_tick(names));
    EXPECT_EQ("[]", eval("$zoq.audio.keys"));
    EXPECT_GT(sdl_bytes_asked, total); // every file but the large one was read
    EXPECT_LT(sdl_bytes_asked, AUDIO_SIZE_LIMIT);
    sdl_bytes_asked = 0;
    for (int tick = 0; tick < 30; tick++) step(ask_every_tick(names));
    EXPECT_LT(sdl_bytes_asked, 1024u) << "an unchanged broken file was read again";
    EXPECT_EQ("[]", eval("$zoq.audio.keys"));
    for (auto &c : cases)
        EXPECT_EQ(1, logged("\"sounds/" + std::string(c.name) + "\" can't be played: Unsupported or corrupted audio file."))
            << c.name;
    EXPECT_EQ(0, logged("Loaded a"));

    // Mended in place (the flipped files keep their size, not their time): tried again, and played.
    for (auto &c : cases) replace("sounds/" + std::string(c.name), strstr(c.name, ".ogg") ? ogg : wav);
    step(ask_every_tick(names));
    EXPECT_EQ(std::to_string(names.size()), eval("$zoq.audio.size"));
    EXPECT_EQ((int)names.size(), logged("Loaded a"));
    EXPECT_GT(level(0.05), 0.1);
}

TEST_F(Audio, OddWavHeadersPlayWhatTheFileHolds)
{
    const std::string wav = make_wav(1, 2, 16, 22050, 2205);
    struct {
        const char *name;
        std::string bytes;
    } cases[] = {
        // Cut short (a failed download): the length says 4 GB, the file holds 0.1 s.
        {"data_past_the_end.wav", with_u32(wav, 40, 0xfffffff0)},
        // A one-byte block for 4-byte frames, with a stray byte at the end.
        {"odd_alignment.wav", with_u32(with_u16(wav, 32, 1), 40, (uint32_t)(wav.size() - 44 + 1)) + "x"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        put("sounds/" + std::string(c.name), c.bytes);
        sdl_allocation_counter counter;
        step("$zoq.audio.clear; $zoq.audio[:w] = { input: 'sounds/" + std::string(c.name) + "' }");
        EXPECT_LT(sdl_bytes_asked, 4 * wav.size());
        EXPECT_EQ("[:w]", eval("$zoq.audio.keys"));
        EXPECT_GT(level(0.05), 0.1);
    }
}

TEST_F(Audio, SeededByteFlipsInOggHeadersPlayOrFailCleanly)
{
    const std::string ogg = read_file(ZINTAREL_TEST_DATA "/tone_mono.ogg");
    std::mt19937 random(18);
    std::vector<std::string> names;
    for (int i = 0; i < 48; i++) {
        size_t at = random() % 3381; // within the three headers
        names.push_back("flip" + std::to_string(i) + ".ogg");
        put("sounds/" + names.back(), flipped(ogg, at, (int)(random() % 8)));
    }
    sdl_allocation_counter counter;
    step(ask_every_tick(names));
    int played = atoi(eval("$zoq.audio.size").c_str());
    EXPECT_GT(played, 0);
    EXPECT_LT(played, (int)names.size());
    sdl_bytes_asked = 0;
    for (int tick = 0; tick < 5; tick++) step(ask_every_tick(names));
    EXPECT_LT(sdl_bytes_asked, 1024u);
    EXPECT_EQ(std::to_string(played), eval("$zoq.audio.size"));
    EXPECT_EQ((int)names.size() - played, logged("can't be played"));
    EXPECT_EQ(played, logged("Loaded a .ogg file"));
}
