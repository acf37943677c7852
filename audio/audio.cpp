#include "audio/audio.h"
#include "base/file_failures.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <SDL.h>
#include <string.h>
#include <unordered_set>

audio_device_state audio_playlist;

// Every live source, so a pointer handed back from Ruby can be checked before it is used.
static std::unordered_set<const void *> audio_live_sources;

// Paths already reported as unplayable: a game that asks again every step hears of it once.
struct audio_reported_path {
    char *path;
    audio_reported_path *next;
};
static audio_reported_path *audio_reported_paths;
static int audio_source_limit_reported;

// Files that could not be played, with the size and time they had then: one that stays
// so is not read again, however often the game asks for it. Simulation thread only.
static file_failures *audio_failed_files;
static uint64_t audio_step;

void audio_begin_step(uint64_t step) { audio_step = step; }

static void audio_trace_noop(void) {}
static void audio_trace_noop_text(const char *) {}
static void audio_trace_noop_label(void *, const char *) {}
static void audio_trace_noop_name(uint32_t, const char *) {}

// Diagnostics go to OpenAL's trace hooks where it has them, and always to SDL's debug log.
static void audio_message(const char *text)
{
    audio_playlist.trace_message(text);
    SDL_LogDebug(SDL_LOG_CATEGORY_AUDIO, "%s", text);
}

static void audio_report_unplayable(const char *path, const char *why)
{
    for (audio_reported_path *r = audio_reported_paths; r; r = r->next)
        if (strcmp(r->path, path) == 0) return;
    SDL_Log("Audio file \"%s\" can't be played: %s", path, why);
    audio_reported_path *r = (audio_reported_path *)SDL_malloc(sizeof *r);
    char *copy = SDL_strdup(path);
    if (!r || !copy) {
        SDL_free(r);
        SDL_free(copy);
        return;
    }
    r->path = copy;
    r->next = audio_reported_paths;
    audio_reported_paths = r;
}

static void audio_forget_reported_paths(void)
{
    while (audio_reported_paths) {
        audio_reported_path *next = audio_reported_paths->next;
        SDL_free(audio_reported_paths->path);
        SDL_free(audio_reported_paths);
        audio_reported_paths = next;
    }
}

int audio_init(void) { return audio_init_device(alcOpenDevice(nullptr), nullptr); }

int audio_init_device(ALCdevice *device, const ALCint *attributes)
{
    audio_device_state &p = audio_playlist;
    if (!device) return 0;
    ALCcontext *context = alcCreateContext(device, attributes);
    if (!context || !alcMakeContextCurrent(context)) {
        if (context) alcDestroyContext(context);
        alcCloseDevice(device);
        return 0;
    }
    p.device = device;
    p.context = context;
    p.float32_supported = alIsExtensionPresent("AL_EXT_FLOAT32") ? 1 : 0;
    if (p.float32_supported) {
        p.format_mono_float32 = (uint32_t)alGetEnumValue("AL_FORMAT_MONO_FLOAT32");
        p.format_stereo_float32 = (uint32_t)alGetEnumValue("AL_FORMAT_STEREO_FLOAT32");
    }
    if (alcIsExtensionPresent(device, "ALC_EXT_trace_info")) {
        p.trace_device_label = (audio_trace_label_fn)alcGetProcAddress(device, "alcTraceDeviceLabel");
        p.trace_context_label = (audio_trace_label_fn)alcGetProcAddress(device, "alcTraceContextLabel");
    }
    if (alIsExtensionPresent("AL_EXT_trace_info")) {
        p.trace_push_scope = (audio_trace_text_fn)alGetProcAddress("alTracePushScope");
        p.trace_pop_scope = (audio_trace_void_fn)alGetProcAddress("alTracePopScope");
        p.trace_message = (audio_trace_text_fn)alGetProcAddress("alTraceMessage");
        p.trace_buffer_label = (audio_trace_name_fn)alGetProcAddress("alTraceBufferLabel");
        p.trace_source_label = (audio_trace_name_fn)alGetProcAddress("alTraceSourceLabel");
    }
    if (!p.trace_device_label) p.trace_device_label = audio_trace_noop_label;
    if (!p.trace_context_label) p.trace_context_label = audio_trace_noop_label;
    if (!p.trace_push_scope) p.trace_push_scope = audio_trace_noop_text;
    if (!p.trace_pop_scope) p.trace_pop_scope = audio_trace_noop;
    if (!p.trace_message) p.trace_message = audio_trace_noop_text;
    if (!p.trace_buffer_label) p.trace_buffer_label = audio_trace_noop_name;
    if (!p.trace_source_label) p.trace_source_label = audio_trace_noop_name;
    p.trace_device_label(device, "Main output device");
    p.trace_context_label(context, "Main output context");
    if (!audio_failed_files) audio_failed_files = file_failures_create();
    return 1;
}

void audio_quit(void)
{
    audio_device_state &p = audio_playlist;
    if (!p.trace_push_scope) return; // never opened
    p.trace_push_scope("audio_quit");
    if (p.context) alListenerf(AL_GAIN, 0.0f);
    while (p.sources) audio_stop_source(p.sources);
    while (p.buffer_cache) {
        audio_buffer_cache_entry *next = p.buffer_cache->next;
        if (p.buffer_cache->buffer) alDeleteBuffers(1, &p.buffer_cache->buffer);
        SDL_free(p.buffer_cache->path);
        SDL_free(p.buffer_cache);
        p.buffer_cache = next;
    }
    if (p.context) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(p.context);
        p.context = nullptr;
    }
    if (p.device) {
        alcCloseDevice(p.device);
        p.device = nullptr;
    }
    p.float32_supported = 0;
    p.format_mono_float32 = 0;
    p.format_stereo_float32 = 0;
    audio_forget_reported_paths();
    audio_source_limit_reported = 0;
    file_failures_delete(audio_failed_files);
    audio_failed_files = nullptr;
    p.trace_pop_scope();
}

static ALenum float_format(uint32_t channels)
{
    return (ALenum)(channels == 1 ? audio_playlist.format_mono_float32 : audio_playlist.format_stereo_float32);
}

// The cache entry for path, decoding the file on first use; NULL when it cannot be had.
static audio_buffer_cache_entry *audio_cache_get(const char *path)
{
    audio_device_state &p = audio_playlist;
    if (!path) {
        audio_message("get_buffer failed!");
        return nullptr;
    }
    for (audio_buffer_cache_entry *e = p.buffer_cache; e; e = e->next) {
        if (strcmp(e->path, path) != 0) continue;
        if (!e->buffer) {
            audio_message("get_buffer failed!");
            return nullptr;
        }
        return e;
    }
    if (file_failures_unchanged(audio_failed_files, path, audio_step)) {
        audio_message("get_buffer failed!"); // failed before and unchanged since: reported then
        return nullptr;
    }
    p.trace_push_scope("cachenew_buffer");
    audio_message("Load new audio file:");
    audio_message(path);
    audio_buffer_cache_entry *entry = (audio_buffer_cache_entry *)SDL_calloc(1, sizeof *entry);
    char *copy = SDL_strdup(path);
    audio_decoded decoded = {};
    audio_decode_result result = AUDIO_DECODE_UNREADABLE;
    if (entry && copy) result = audio_decode_file(path, &decoded);
    if (result != AUDIO_DECODE_OK) {
        if (result == AUDIO_DECODE_TOO_LARGE) audio_message("The file is larger than any sound kept.");
        const char *why = !entry || !copy                        ? "Out of memory!"
                          : result == AUDIO_DECODE_UNREADABLE ? "The file can't be read."
                                                              : "Unsupported or corrupted audio file.";
        audio_message(why);
        if (entry && copy) {
            audio_report_unplayable(path, why);
            file_failures_record(audio_failed_files, path, audio_step);
        }
        SDL_free(copy);
        SDL_free(entry);
        p.trace_pop_scope();
        audio_message("get_buffer failed!");
        return nullptr;
    }
    audio_message(decoded.wav ? "Loaded a .wav file" : "Loaded a .ogg file");
    file_failures_forget(audio_failed_files, path);
    entry->path = copy;
    alGetError();
    alGenBuffers(1, &entry->buffer);
    if (alGetError() != AL_NO_ERROR) entry->buffer = 0;
    if (entry->buffer) {
        p.trace_buffer_label(entry->buffer, path);
        alBufferData(entry->buffer, decoded.format, decoded.bytes, decoded.size, (ALsizei)decoded.frequency);
    } else {
        audio_message("Failed to generate AL buffer!");
    }
    entry->channels = decoded.channels;
    entry->frequency = decoded.frequency;
    audio_decoded_free(&decoded);
    entry->next = p.buffer_cache;
    p.buffer_cache = entry;
    p.trace_pop_scope();
    return entry;
}

// Names from OpenAL, checked: past its source or buffer limit it reports an error and
// leaves the names unset.
static int audio_gen_sources(ALuint *name)
{
    *name = 0;
    alGetError();
    alGenSources(1, name);
    return alGetError() == AL_NO_ERROR && *name != 0;
}

static int audio_gen_buffers(ALsizei n, ALuint *names)
{
    for (ALsizei i = 0; i < n; i++) names[i] = 0;
    alGetError();
    alGenBuffers(n, names);
    return alGetError() == AL_NO_ERROR;
}

static int fill_procedural_buffer(audio_source *source, uint32_t buffer)
{
    audio_device_state &p = audio_playlist;
    p.trace_push_scope("fill_procedural_buffer");
    int filled = 0;
    if (!p.float32_supported) {
        audio_message("uhoh, no float32 support!");
    } else if (source->kind != AUDIO_SOURCE_STREAM) {
        audio_message("uhoh, not a procedural source!");
    } else {
        uint32_t count = 0;
        float *samples = source->data.callback(source->callback_user, &count);
        if (!samples) {
            audio_message("Procedural callback returned NULL, we're done.");
        } else {
            alBufferData(buffer, float_format(source->channels), samples, (ALsizei)(count * 4),
                         (ALsizei)source->frequency);
            SDL_free(samples);
            alSourceQueueBuffers(source->al_source, 1, &buffer);
            filled = 1;
        }
    }
    p.trace_pop_scope();
    return filled;
}

static int audio_request_valid(const audio_source *request)
{
    return audio_playlist.float32_supported && request->data.samples &&
           (request->channels == 1 || request->channels == 2) && request->frequency != 0;
}

// What a request plays, checked before anything is made: 1 when it can be played, with a
// file's decoded buffer in *entry.
static int audio_request_playable(const audio_source *request, audio_buffer_cache_entry **entry)
{
    switch (request->kind) {
    case AUDIO_SOURCE_STREAM:
        audio_message("dynamic procedural audio");
        break;
    case AUDIO_SOURCE_STATIC:
        audio_message("static procedural audio");
        break;
    case AUDIO_SOURCE_FILE:
        audio_message("audio from a file");
        *entry = audio_cache_get(request->data.path);
        return *entry != nullptr;
    default:
        audio_message("unkown audio source input type?!");
        return 0;
    }
    if (audio_request_valid(request)) return 1;
    audio_message("bogus params supplied");
    return 0;
}

// A stream starts with two buffers filled by its callback; 0 when they could not be made.
static int audio_attach_stream(audio_source *source)
{
    if (!audio_gen_buffers(2, source->stream_buffers)) {
        audio_message("Failed to generate AL buffer!");
        return 0;
    }
    source->draining = 0;
    if (!fill_procedural_buffer(source, source->stream_buffers[0])) {
        audio_message("Failed to fill first procedural buffer!");
        source->finished = 1;
        source->paused = 1;
    } else if (!fill_procedural_buffer(source, source->stream_buffers[1])) {
        audio_message("Failed to fill second procedural buffer!");
        source->draining = 1;
    }
    return 1;
}

// Generated samples become one buffer of their own (the caller's samples are read only
// now); 0 when it could not be made.
static int audio_attach_samples(audio_source *source, const audio_source *request)
{
    ALuint buffer = 0;
    if (!audio_gen_buffers(1, &buffer)) {
        audio_message("Failed to generate AL buffer!");
        return 0;
    }
    alBufferData(buffer, float_format(source->channels), request->data.samples,
                 (ALsizei)(request->generated.sample_count * 4), (ALsizei)source->frequency);
    source->generated.static_buffer = buffer;
    source->data.samples = nullptr; // the caller's, gone after this call
    alSourcei(source->al_source, AL_BUFFER, (ALint)buffer);
    alSourcei(source->al_source, AL_LOOPING, source->looping ? AL_TRUE : AL_FALSE);
    return 1;
}

// A file plays its cached buffer, shared with every source of the same path.
static void audio_attach_file(audio_source *source, audio_buffer_cache_entry *entry)
{
    source->data.path = entry->path;
    entry->refcount++;
    source->cache_entry = entry;
    alSourcei(source->al_source, AL_BUFFER, (ALint)entry->buffer);
    alSourcei(source->al_source, AL_LOOPING, source->looping ? AL_TRUE : AL_FALSE);
    source->channels = entry->channels;
    source->frequency = entry->frequency;
}

// A copy of the request with an OpenAL source of its own; NULL when either cannot be had.
static audio_source *audio_new_source(const audio_source *request)
{
    audio_source *source = (audio_source *)SDL_malloc(sizeof *source);
    if (!source) {
        audio_message("Out of memory!");
        return nullptr;
    }
    *source = *request;
    source->finished = 0;
    source->prev = source->next = nullptr;
    if (!audio_gen_sources(&source->al_source)) {
        audio_message("Failed to generate AL source!");
        if (!audio_source_limit_reported) SDL_Log("Too many sounds at once: a sound was dropped.");
        audio_source_limit_reported = 1;
        SDL_free(source);
        return nullptr;
    }
    return source;
}

audio_source *audio_play_source(const audio_source *request)
{
    audio_device_state &p = audio_playlist;
    if (!p.context) return nullptr; // audio never opened (a host without a device)
    p.trace_push_scope("audio_play_source");
    audio_buffer_cache_entry *entry = nullptr;
    audio_source *source = audio_request_playable(request, &entry) ? audio_new_source(request) : nullptr;
    if (source) {
        int attached = 1;
        switch (source->kind) {
        case AUDIO_SOURCE_STREAM: attached = audio_attach_stream(source); break;
        case AUDIO_SOURCE_STATIC: attached = audio_attach_samples(source, request); break;
        default: audio_attach_file(source, entry); break;
        }
        if (!attached) {
            alDeleteSources(1, &source->al_source);
            SDL_free(source);
            source = nullptr;
        }
    }
    if (source) {
        alSource3f(source->al_source, AL_POSITION, source->x, 0.0f, source->y);
        alSourcef(source->al_source, AL_GAIN, source->gain);
        alSourcef(source->al_source, AL_PITCH, source->pitch);
        if (!source->paused) alSourcePlay(source->al_source);
        source->next = p.sources;
        if (p.sources) p.sources->prev = source;
        p.sources = source;
        audio_live_sources.insert(source);
    }
    p.trace_pop_scope();
    return source;
}

void audio_update_source(audio_source *source)
{
    audio_device_state &p = audio_playlist;
    p.trace_push_scope("audio_update_source");
    ALuint al = source->al_source;
    if (source->kind != AUDIO_SOURCE_STREAM) alSourcei(al, AL_LOOPING, source->looping ? AL_TRUE : AL_FALSE);
    alSource3f(al, AL_POSITION, source->x, 0.0f, source->y);
    alSourcef(al, AL_GAIN, source->gain);
    alSourcef(al, AL_PITCH, source->pitch);
    ALint state = AL_STOPPED;
    alGetSourcei(al, AL_SOURCE_STATE, &state);
    if (source->paused) {
        if (state == AL_PLAYING)
            alSourcePause(al);
        else if (state == AL_STOPPED) {
            audio_message("Marking source as finished.");
            source->finished = 1;
        }
        p.trace_pop_scope();
        return;
    }
    if (source->kind == AUDIO_SOURCE_STREAM && !source->draining) {
        ALint processed = 0;
        alGetSourcei(al, AL_BUFFERS_PROCESSED, &processed);
        int starved_reported = 0;
        for (ALint i = 0; i < processed; i++) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(al, 1, &buffer);
            if (!fill_procedural_buffer(source, buffer)) {
                audio_message("Procedural buffer says stop. Marking source as draining so we don't queue more.");
                source->draining = 1;
            } else if (state == AL_STOPPED) {
                if (!starved_reported)
                    audio_message("Streaming source appears to have suffered buffer queue starvation.");
                starved_reported = 1;
                state = AL_PAUSED;
            }
        }
    }
    if (state == AL_INITIAL || state == AL_PAUSED) alSourcePlay(al);
    if (state == AL_STOPPED) {
        audio_message("Marking source as finished.");
        source->finished = 1;
    }
    p.trace_pop_scope();
}

void audio_stop_source(audio_source *source)
{
    if (!source) return;
    audio_device_state &p = audio_playlist;
    p.trace_push_scope("audio_stop_source");
    if (source->next) source->next->prev = source->prev;
    if (source->prev)
        source->prev->next = source->next;
    else if (p.sources == source)
        p.sources = source->next;
    alSourceStop(source->al_source);
    alSourcei(source->al_source, AL_BUFFER, 0);
    alDeleteSources(1, &source->al_source);
    if (source->kind == AUDIO_SOURCE_STREAM)
        alDeleteBuffers(2, source->stream_buffers);
    else if (source->kind == AUDIO_SOURCE_STATIC)
        alDeleteBuffers(1, &source->generated.static_buffer);
    else if (source->cache_entry && source->cache_entry->refcount)
        source->cache_entry->refcount--;
    audio_live_sources.erase(source);
    SDL_free(source);
    p.trace_pop_scope();
}

int audio_source_is_live(const void *pointer) { return pointer && audio_live_sources.count(pointer) ? 1 : 0; }
