// audio_sync: the per-step walk of the runtime's audio hash (args.audio) that starts, updates
// and stops the OpenAL sources so the playing ones match it, and hands each entry its
// source as an FFI::CPtr under :cptr.
#pragma once
#include <mruby.h>
#include <stdint.h>

#include "audio/audio.h"
#include "base/game_context.h"

// Once per step, after the frame is queued.
void audio_sync_sources(game_context *context);
// Copies position, gain, pitch, looping, pause (and a stream's callable) from entry;
// used inside the walk, which interns the keys it reads.
void read_audio_source_hash(mrb_state *mrb, mrb_value entry, audio_source *record);
// The stream callback over the Ruby callable that user points at.
float *audio_input_call(void *user, uint32_t *count);
