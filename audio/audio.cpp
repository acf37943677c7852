#include "audio/audio.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <SDL.h>

static ALCdevice *audio_device;
static ALCcontext *audio_context;

int audio_init(void)
{
    audio_device = alcOpenDevice(nullptr);
    if (!audio_device) return 0;
    audio_context = alcCreateContext(audio_device, nullptr);
    if (!audio_context || !alcMakeContextCurrent(audio_context)) {
        if (audio_context) alcDestroyContext(audio_context);
        alcCloseDevice(audio_device);
        audio_context = nullptr;
        audio_device = nullptr;
        return 0;
    }
    return 1;
}

void audio_quit(void)
{
    alcMakeContextCurrent(nullptr);
    if (audio_context) alcDestroyContext(audio_context);
    if (audio_device) alcCloseDevice(audio_device);
    audio_context = nullptr;
    audio_device = nullptr;
}

void audio_sync_sources(game_context *context) { (void)context; }
