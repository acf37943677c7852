// event_format: the one description of the event stream, the SDL events the render thread
// polled, handed to the simulation thread through the channel's event queue. The render
// loop writes it and input dispatch reads it, both through these helpers.
//
// A u64 count, then that many SDL_Event records as SDL lays them out in memory (both threads
// are one process, so the layout is the same on either side).
#pragma once
#include <SDL.h>
#include <stdint.h>
#include <string.h>

#include "base/threadstream.h"

// ---- writing ----------------------------------------------------------------------------

// Opens a stream with its count, which event_stream_finish fills in.
static inline int event_stream_begin(threadstream *s) { return threadstream_pack_size_t(s, 0); }

// Room for one more event at the end of the stream, for SDL to poll into; NULL when the
// stream cannot grow (its error is set then).
static inline SDL_Event *event_stream_slot(threadstream *s)
{
    if (!threadstream_claim_space(s, sizeof(SDL_Event))) return nullptr;
    return (SDL_Event *)(s->data + s->length);
}

// Keeps the event written into the last slot.
static inline void event_stream_commit(threadstream *s) { s->length += sizeof(SDL_Event); }

// Writes the count of committed events into the stream's head.
static inline void event_stream_finish(threadstream *s, uint64_t count) { memcpy(s->data, &count, 8); }

// ---- reading ----------------------------------------------------------------------------

static inline uint64_t event_stream_read_count(threadstream *s) { return threadstream_unpack_size_t(s); }

// The next event into *e; 0, with the stream's error set, when no whole event is left.
static inline int event_stream_read(threadstream *s, SDL_Event *e)
{
    if (s->error || s->read_position > s->length || s->length - s->read_position < sizeof *e) {
        s->error = 1;
        return 0;
    }
    memcpy(e, s->data + s->read_position, sizeof *e);
    s->read_position += sizeof *e;
    return 1;
}
