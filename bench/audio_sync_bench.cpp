// Prints what the host's per-step walk of args.audio costs with 0, 16 and 200 playing
// entries (looping WAV files on OpenAL's loopback device, so nothing else runs meanwhile).
#define AL_ALEXT_PROTOTYPES
#include "audio/audio.h"
#include "host/audio_sync.h"
#include "support/host_fixture.h"

#include <AL/alext.h>
#include <chrono>
#include <stdio.h>

int main()
{
    host_fixture fx;
    if (!host_fixture_up(&fx, true)) return 1;
    const ALCint attributes[] = {ALC_FREQUENCY,  44100, ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT, 0};
    if (!audio_init_device(alcLoopbackOpenDeviceSOFT(nullptr), attributes)) return 1;
    write_file(fx.game_dir + "/sounds/a.wav", make_wav(1, 1, 16, 44100, 44100, 440, 0));
    for (int entries : {0, 16, 200}) {
        host_fixture_eval("$zoq.audio.clear; " + std::to_string(entries) +
                          ".times { |i| $zoq.audio[i] = { input: 'sounds/a.wav', looping: true, x: i * 0.01, "
                          "gain: 0.5 } }; nil");
        for (int i = 0; i < 100; i++) audio_sync_sources(&test_game);
        const int steps = 5000;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < steps; i++) audio_sync_sources(&test_game);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("audio sync with %3d playing entries: %8.2f us per step (%s entries kept)\n", entries,
               seconds * 1e6 / steps, host_fixture_eval("$zoq.audio.size").c_str());
    }
    audio_quit();
    host_fixture_down(&fx);
    return 0;
}
