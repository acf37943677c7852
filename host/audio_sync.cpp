#include "host/audio_sync.h"
#include "base/files.h"
#include "base/ruby.h"
#include "ffi/ffi.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/error.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <string.h>

// The interpreter the stream callbacks call into; they get only the callable's address.
static mrb_state *audio_sync_mrb;
static uint64_t audio_sync_step;

// The entry keys, interned once per walk rather than once per look-up (interning walks
// the symbol table; a cache kept across walks could outlive its interpreter).
enum audio_key {
    KEY_INPUT,
    KEY_X,
    KEY_Y,
    KEY_Z,
    KEY_GAIN,
    KEY_PITCH,
    KEY_LOOPING,
    KEY_PAUSED,
    KEY_CPTR,
    KEY_CALL,
    KEY_COUNT
};
static const char *const audio_key_names[KEY_COUNT] = {"input", "x",       "y",      "z",    "gain",
                                                       "pitch", "looping", "paused", "cptr", "call"};
static mrb_sym audio_keys[KEY_COUNT];

static void intern_keys(mrb_state *mrb)
{
    for (int i = 0; i < KEY_COUNT; i++) audio_keys[i] = mrb_intern_cstr(mrb, audio_key_names[i]);
}

static mrb_value entry_get(mrb_state *mrb, mrb_value entry, audio_key key)
{
    // fetch, not get: a default proc of the game's Hash is not ours to run.
    return mrb_hash_fetch(mrb, entry, mrb_symbol_value(audio_keys[key]), mrb_nil_value());
}

void read_audio_source_hash(mrb_state *mrb, mrb_value entry, audio_source *record)
{
    record->x = ruby_to_f32(entry_get(mrb, entry, KEY_X), 0.0f);
    record->y = ruby_to_f32(entry_get(mrb, entry, KEY_Y), 0.0f);
    record->z = ruby_to_f32(entry_get(mrb, entry, KEY_Z), 0.0f);
    record->gain = ruby_to_f32(entry_get(mrb, entry, KEY_GAIN), 1.0f);
    record->pitch = ruby_to_f32(entry_get(mrb, entry, KEY_PITCH), 1.0f);
    record->looping = (uint32_t)ruby_truthy(entry_get(mrb, entry, KEY_LOOPING));
    record->paused = (uint32_t)ruby_truthy(entry_get(mrb, entry, KEY_PAUSED));
    if (record->kind != AUDIO_SOURCE_STREAM) return;
    record->callable = mrb_nil_value();
    mrb_value input = entry_get(mrb, entry, KEY_INPUT);
    if (mrb_array_p(input) && RARRAY_LEN(input) >= 3) record->callable = mrb_ary_entry(input, 2);
}

static mrb_value call_callable(mrb_state *mrb, void *callable)
{
    return mrb_funcall_argv(mrb, *(mrb_value *)callable, audio_keys[KEY_CALL], 0, nullptr);
}

// An Array of count numbers as new floats (SDL_malloc'ed); anything but a number is 0.
static float *floats_from_array(mrb_value array, uint32_t *count)
{
    mrb_int length = RARRAY_LEN(array);
    float *out = (float *)SDL_malloc(length ? (size_t)length * sizeof(float) : 1);
    if (!out) return nullptr;
    for (mrb_int i = 0; i < length; i++) out[i] = ruby_to_f32(mrb_ary_entry(array, i), 0.0f);
    *count = (uint32_t)length;
    return out;
}

float *audio_input_call(void *user, uint32_t *count)
{
    mrb_state *mrb = audio_sync_mrb;
    mrb_value callable = *(mrb_value *)user;
    if (!mrb || !mrb_respond_to(mrb, callable, audio_keys[KEY_CALL])) return nullptr;
    // Protected on its own: what the callable raises must not unwind through the audio side.
    mrb_bool failed = FALSE;
    mrb_value result = mrb_protect_error(mrb, call_callable, &callable, &failed);
    if (failed) {
        if (mrb_type(result) == MRB_TT_EXCEPTION) mrb->exc = mrb_obj_ptr(result);
        ruby_log_exception(mrb);
        return nullptr;
    }
    if (!mrb_array_p(result) || RARRAY_LEN(result) > UINT32_MAX / 4) return nullptr;
    return floats_from_array(result, count);
}

// The keep list: sources whose entries stay, built during the walk.
static audio_source *keep_head;

static void keep_source(audio_source *source)
{
    audio_device_state &p = audio_playlist;
    if (source->next) source->next->prev = source->prev;
    if (source->prev)
        source->prev->next = source->next;
    else if (p.sources == source)
        p.sources = source->next;
    source->prev = nullptr;
    source->next = keep_head;
    if (keep_head) keep_head->prev = source;
    keep_head = source;
    source->sync_step = audio_sync_step;
}

struct sync_item {
    mrb_value hash;
    mrb_value key;
};

// The source an entry's :cptr names, when it is one this runtime handed out for a source
// that is still live and not yet claimed this step by an earlier entry (a copied :cptr).
static audio_source *claimed_source(mrb_value cptr)
{
    void *pointer = ffi_cptr_get(cptr);
    if (!audio_source_is_live(pointer)) return nullptr;
    audio_source *source = (audio_source *)pointer;
    if (source->sync_handle != mrb_ptr(cptr) || source->sync_step == audio_sync_step) return nullptr;
    return source;
}

// Starts a new source for entry; NULL when the entry does not describe one.
static audio_source *start_source(mrb_state *mrb, mrb_value entry)
{
    audio_source record;
    memset(&record, 0, sizeof record);
    record.callable = mrb_nil_value();
    mrb_value input = entry_get(mrb, entry, KEY_INPUT);
    float *samples = nullptr;
    if (mrb_array_p(input)) {
        if (RARRAY_LEN(input) < 3) return nullptr;
        record.channels = (uint32_t)ruby_to_i32_saturating(mrb_ary_entry(input, 0), 0);
        record.frequency = (uint32_t)ruby_to_i32_saturating(mrb_ary_entry(input, 1), 0);
        mrb_value source = mrb_ary_entry(input, 2);
        if (mrb_array_p(source)) {
            if (RARRAY_LEN(source) > UINT32_MAX / 4) return nullptr;
            uint32_t count = 0;
            samples = floats_from_array(source, &count);
            if (!samples) return nullptr;
            record.kind = AUDIO_SOURCE_STATIC;
            record.data.samples = samples;
            record.generated.sample_count = count;
        } else if (mrb_respond_to(mrb, source, audio_keys[KEY_CALL])) {
            record.kind = AUDIO_SOURCE_STREAM;
            record.data.callback = audio_input_call;
            record.callback_user = &record.callable;
        } else {
            return nullptr;
        }
    } else if (mrb_string_p(input)) {
        if (!files_path_of(RSTRING_PTR(input), (size_t)RSTRING_LEN(input))) return nullptr;
        record.kind = AUDIO_SOURCE_FILE;
        record.data.path = RSTRING_CSTR(mrb, input);
    } else {
        return nullptr; // nil, or anything a game cannot mean as a sound
    }
    read_audio_source_hash(mrb, entry, &record);
    audio_source *source = audio_play_source(&record);
    SDL_free(samples);
    if (source && source->kind == AUDIO_SOURCE_STREAM) source->callback_user = &source->callable;
    return source;
}

static mrb_value delete_item(mrb_state *mrb, void *data)
{
    sync_item *item = (sync_item *)data;
    return mrb_hash_delete_key(mrb, item->hash, item->key);
}

// One entry of the walk. Runs protected: what a Ruby call raises ends this entry alone,
// and a source it started is still in the old list, so it is stopped with the others.
static mrb_value sync_entry(mrb_state *mrb, void *data)
{
    sync_item *item = (sync_item *)data;
    mrb_value entry = mrb_hash_fetch(mrb, item->hash, item->key, mrb_undef_value());
    if (mrb_undef_p(entry)) return mrb_nil_value(); // a callable removed it meanwhile
    if (!mrb_hash_p(entry)) {
        mrb_hash_delete_key(mrb, item->hash, item->key);
        return mrb_nil_value();
    }
    mrb_value cptr = entry_get(mrb, entry, KEY_CPTR);
    if (!mrb_nil_p(cptr)) {
        audio_source *source = claimed_source(cptr);
        if (!source) {
            // Not ours, stale or a copy: drop the entry, never the source it may name.
            mrb_hash_delete_key(mrb, item->hash, item->key);
            return mrb_nil_value();
        }
        read_audio_source_hash(mrb, entry, source);
        audio_update_source(source);
        if (source->finished)
            mrb_hash_delete_key(mrb, item->hash, item->key);
        else
            keep_source(source);
        return mrb_nil_value();
    }
    audio_source *source = start_source(mrb, entry);
    if (!source) {
        mrb_hash_delete_key(mrb, item->hash, item->key);
        return mrb_nil_value();
    }
    mrb_value handle = ffi_cptr_new(mrb, source);
    if (mrb_nil_p(handle)) {
        mrb_hash_delete_key(mrb, item->hash, item->key);
        return mrb_nil_value();
    }
    source->sync_handle = mrb_ptr(handle);
    mrb_hash_set(mrb, entry, mrb_symbol_value(audio_keys[KEY_CPTR]), handle);
    if (source->finished)
        mrb_hash_delete_key(mrb, item->hash, item->key);
    else
        keep_source(source);
    return mrb_nil_value();
}

void audio_sync_sources(game_context *context)
{
    mrb_state *mrb = context->interpreter;
    audio_sync_mrb = mrb;
    audio_sync_step++;
    audio_begin_step(audio_sync_step);
    int ai = mrb_gc_arena_save(mrb);
    mrb_value hash = ruby_call0(mrb, context->runtime, "audio");
    keep_head = nullptr;
    if (mrb_hash_p(hash) && !mrb_hash_empty_p(mrb, hash)) {
        intern_keys(mrb);
        mrb_value keys = mrb_hash_keys(mrb, hash);
        int entry_ai = mrb_gc_arena_save(mrb);
        for (mrb_int i = 0; i < RARRAY_LEN(keys); i++) {
            sync_item item = {hash, mrb_ary_entry(keys, i)};
            mrb_bool failed = FALSE;
            mrb_value result = mrb_protect_error(mrb, sync_entry, &item, &failed);
            if (failed) {
                if (mrb_type(result) == MRB_TT_EXCEPTION) mrb->exc = mrb_obj_ptr(result);
                ruby_log_exception(mrb);
                // An entry that cannot be walked (a frozen one cannot take :cptr) is dropped.
                mrb_protect_error(mrb, delete_item, &item, &failed);
                mrb->exc = nullptr;
            }
            mrb_gc_arena_restore(mrb, entry_ai);
        }
    }
    while (audio_playlist.sources) audio_stop_source(audio_playlist.sources);
    audio_playlist.sources = keep_head;
    keep_head = nullptr;
    mrb_gc_arena_restore(mrb, ai);
}
