// audio: the OpenAL device and context, the cache of decoded files, and the sources that
// play files, arrays of generated samples and streams fed by a callback.
#pragma once
#include <AL/al.h>
#include <AL/alc.h>
#include <mruby.h>
#include <stddef.h>
#include <stdint.h>

enum audio_source_kind : uint32_t {
    AUDIO_SOURCE_FILE = 0,
    AUDIO_SOURCE_STATIC = 1, // one array of generated samples
    AUDIO_SOURCE_STREAM = 2, // a callback asked for more samples as they play out
};

// Answers count float samples (all channels interleaved, SDL_malloc'ed; the audio side
// frees them), or NULL when the stream is over.
typedef float *(*audio_sample_callback)(void *user, uint32_t *count);

// One decoded file, shared by every source of its path; it stays cached at refcount 0.
struct audio_buffer_cache_entry {
    char *path;
    uint32_t buffer; // 0 when OpenAL could not make one
    uint32_t refcount;
    uint32_t channels;
    uint32_t frequency;
    audio_buffer_cache_entry *next;
};

struct audio_source {
    audio_source_kind kind;
    union {
        const char *path;     // file; the live copy points at the cache entry's path
        const float *samples; // static: the caller's, read only while the source is made
        audio_sample_callback callback;
    } data;
    union {
        audio_buffer_cache_entry *cache_entry;
        struct {
            uint32_t sample_count;  // floats in data.samples, channels interleaved
            uint32_t static_buffer; // set when the source is made
        } generated;
        void *callback_user;
    };
    mrb_value callable; // stream: the game's callable; only the synchronisation reads it
    uint32_t draining;  // stream: the callback said stop, queue nothing more
    uint32_t stream_buffers[2];
    uint32_t channels;
    uint32_t frequency;
    float x, y, z; // OpenAL position is (x, 0, y); z is kept, unused
    float gain;
    float pitch;
    uint32_t looping;
    uint32_t paused;
    uint32_t finished; // stopped for good: the owner removes it
    uint32_t al_source;
    audio_source *prev;
    audio_source *next;
    // Used by the synchronisation alone: the FFI::CPtr object it handed out for this
    // source, and the step that last claimed it.
    const void *sync_handle;
    uint64_t sync_step;
};

typedef void (*audio_trace_label_fn)(void *object, const char *text);
typedef void (*audio_trace_name_fn)(uint32_t name, const char *text);
typedef void (*audio_trace_text_fn)(const char *text);
typedef void (*audio_trace_void_fn)(void);

// The whole state of the audio side: the device and its context, the live sources, the
// decoded files and OpenAL's trace hooks. Simulation thread only, once start-up is done.
struct audio_device_state {
    audio_source *sources; // newest first
    ALCdevice *device;
    ALCcontext *context;
    uint32_t float32_supported;
    uint32_t format_mono_float32;
    uint32_t format_stereo_float32;
    audio_trace_label_fn trace_device_label;
    audio_trace_label_fn trace_context_label;
    audio_trace_text_fn trace_push_scope;
    audio_trace_void_fn trace_pop_scope;
    audio_trace_text_fn trace_message;
    audio_trace_name_fn trace_buffer_label;
    audio_trace_name_fn trace_source_label;
    audio_buffer_cache_entry *buffer_cache; // newest first
};

// Named for the list of live sources it began as; it holds the whole device state now.
extern audio_device_state audio_playlist;

// The largest sound file read and the largest decoded sound kept, in bytes: 256 MiB, about
// 25 minutes of 16-bit stereo at 44.1 kHz. OpenAL copies a buffer as it takes it, so a
// sound briefly costs twice this.
static const size_t AUDIO_SIZE_LIMIT = (size_t)256 << 20;

// A decoded file before it becomes a buffer: SDL's WAV data or our 16-bit Ogg samples.
struct audio_decoded {
    uint8_t *wav; // SDL_FreeWAV
    short *ogg;   // SDL_free
    const void *bytes;
    ALsizei size;
    ALenum format;
    uint32_t channels;
    uint32_t frequency;
};

enum audio_decode_result {
    AUDIO_DECODE_UNREADABLE = 0, // missing, or no regular file
    AUDIO_DECODE_UNUSABLE = -1,  // read, but no WAV or Ogg Vorbis sound this runtime plays
    AUDIO_DECODE_TOO_LARGE = -2, // larger than AUDIO_SIZE_LIMIT as a file or decoded
    AUDIO_DECODE_OK = 1,
};

// Decodes path as WAV, else as Ogg Vorbis, the kind found from the content, reading it at
// most once whole. Nothing stays allocated unless it answers AUDIO_DECODE_OK.
audio_decode_result audio_decode_file(const char *path, audio_decoded *out);
void audio_decoded_free(audio_decoded *decoded);

// Opens the default playback device and its context; 1 on success.
int audio_init(void);
// The same over a device the caller opened (a loopback device in tests), with context
// attributes (may be NULL). Closes the device on failure.
int audio_init_device(ALCdevice *device, const ALCint *attributes);
void audio_quit(void);

// A new live source made from request (copied whole), playing unless paused; NULL when it
// cannot be made (the reason goes to the debug log; an unplayable file is reported once).
audio_source *audio_play_source(const audio_source *request);
// Applies position, gain, pitch, looping and pause, feeds a stream, may set finished.
void audio_update_source(audio_source *source);
// Stops, unlinks and frees; NULL is ignored.
void audio_stop_source(audio_source *source);
// Whether pointer is a source that is live now (without reading through it).
int audio_source_is_live(const void *pointer);

// The simulation step now running: a file that could not be played is looked at again at
// most once per step, and read again only once it has changed.
void audio_begin_step(uint64_t step);
