// audio: the OpenAL device and context, and keeping playing sources in line with the
// runtime's audio hash. First version: device and context only.
#pragma once

struct game_context;

int audio_init(void);
void audio_quit(void);
// Brings the sources in line with the runtime's audio hash once per step.
void audio_sync_sources(game_context *context);
