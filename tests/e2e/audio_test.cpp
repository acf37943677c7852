// A game plays a WAV through args.outputs.sounds and an Ogg to the right through
// args.audio; OpenAL's wave writer records the mix, and the recording is read back.
#include "e2e/e2e.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <vector>

static const char *sound_game =
    "def tick args\n"
    "  t = args.tick_count\n"
    "  args.outputs.sounds << 'sounds/beep.wav' if t == 10\n"
    "  args.audio[:ogg] = { input: 'sounds/tone.ogg', x: 1 } if t == 40\n"
    "  if [11, 39, 41, 80].include?(t)\n"
    "    $stdout.write(\"t#{t} #{args.audio.keys} #{args.audio.values.map { |e| e[:cptr].class.name }}\\n\")\n"
    "  end\n"
    "  $zoq.request_quit if t == 90\n"
    "end\n";

// Peak levels of each channel in 10 ms windows of the recording (stereo float or 16-bit).
struct recording {
    int rate = 0;
    std::vector<float> left, right; // one value per window
};

static recording read_recording(const std::string &wav)
{
    recording rec;
    size_t fmt = wav.find("fmt "), data = wav.find("data");
    if (fmt == std::string::npos || data == std::string::npos || wav.size() < fmt + 24) return rec;
    uint16_t channels, bits;
    uint32_t rate;
    memcpy(&channels, &wav[fmt + 10], 2);
    memcpy(&rate, &wav[fmt + 12], 4);
    memcpy(&bits, &wav[fmt + 22], 2);
    if (channels != 2 || (bits != 32 && bits != 16)) return rec;
    rec.rate = (int)rate;
    size_t frame_bytes = bits / 8 * 2, window = rate / 100;
    const char *p = wav.data() + data + 8;
    size_t frames = (wav.size() - data - 8) / frame_bytes;
    for (size_t start = 0; start + window <= frames; start += window) {
        float l = 0, r = 0;
        for (size_t i = start; i < start + window; i++) {
            float s[2];
            for (int c = 0; c < 2; c++) {
                if (bits == 32)
                    memcpy(&s[c], p + i * frame_bytes + c * 4, 4);
                else {
                    int16_t v;
                    memcpy(&v, p + i * frame_bytes + c * 2, 2);
                    s[c] = v / 32768.0f;
                }
            }
            l = fmaxf(l, fabsf(s[0]));
            r = fmaxf(r, fabsf(s[1]));
        }
        rec.left.push_back(l);
        rec.right.push_back(r);
    }
    return rec;
}

TEST(Audio, TheRecordingHoldsBothSoundsInTheirChannelsAtTheirTimes)
{
    e2e_game g("audio");
    g.write("game/app/main.rb", sound_game);
    g.write("game/sounds/beep.wav", make_wav(1, 1, 16, 22050, 4410, 660)); // 0.2 s
    g.write("game/sounds/tone.ogg", read_file(ZINTAREL_TEST_DATA "/tone_mono.ogg"));
    g.write("al.conf", "[general]\ndrivers = wave\n[wave]\nfile = " + g.root + "/out.wav\n");
    e2e_run r = g.run({"game"}, 60, {"ALSOFT_DRIVERS=wave", "ALSOFT_CONF=" + g.root + "/al.conf"});
    ASSERT_EQ(0, r.status) << r.err;
    // Entries get their handle when they start and are gone once their sound has ended.
    EXPECT_NE(std::string::npos, r.out.find("t11 [:ZOQ_LEGACY_AUDIO_API_SOUND_1] [\"FFI::CPtr\"]\n"
                                            "t39 [] []\n"
                                            "t41 [:ogg] [\"FFI::CPtr\"]\n"
                                            "t80 [] []\n"))
        << r.out;

    recording rec = read_recording(g.read("out.wav"));
    ASSERT_EQ(44100, rec.rate);
    // Windows where the centred beep is heard (both sides alike) and where only the right is.
    std::vector<int> both, right_only;
    for (size_t i = 0; i < rec.left.size(); i++) {
        float l = rec.left[i], r = rec.right[i];
        if (l > 0.1f && fabsf(l - r) < 0.05f) both.push_back((int)i);
        if (r > 0.2f && l < 0.02f) right_only.push_back((int)i);
    }
    ASSERT_FALSE(both.empty());
    ASSERT_FALSE(right_only.empty());
    // The beep lasts 0.2 s and the ogg 0.3 s; the ogg starts 30 ticks (0.5 s) after the beep.
    // A loaded machine can stretch those ticks but hardly shorten them: game ticks come at
    // least 13 ms apart, and the mixer starts a sound within a few tens of milliseconds.
    EXPECT_NEAR(20, both.back() - both.front() + 1, 3);
    EXPECT_NEAR(30, right_only.back() - right_only.front() + 1, 3);
    EXPECT_GE(right_only.front() - both.front(), 30);
    EXPECT_LT(both.back(), right_only.front());
}
