// byte_reader: a PhysicsFS file read one byte at a time from its current position, through a
// small buffer, as the picture checks walk what the decoder would walk.
#pragma once
#include <SDL.h>
#include <physfs.h>
#include <stdint.h>

struct byte_reader {
    PHYSFS_File *file;
    int64_t offset; // of the next byte
    int length, at;
    uint8_t buffer[512];
};

// Whether a byte waits in the buffer, refilling it from the file when it is used up.
static inline bool byte_reader_fill(byte_reader *r)
{
    if (r->at < r->length) return true;
    PHYSFS_sint64 got = PHYSFS_readBytes(r->file, r->buffer, sizeof r->buffer);
    if (got <= 0) return false;
    r->length = (int)got, r->at = 0;
    return true;
}

static inline int byte_reader_next(byte_reader *r) // -1 at the end
{
    if (!byte_reader_fill(r)) return -1;
    r->offset++;
    return r->buffer[r->at++];
}

// Passes over n bytes; false when the file ends first.
static inline bool byte_reader_skip(byte_reader *r, int64_t n)
{
    while (n > 0) {
        if (!byte_reader_fill(r)) return false;
        int64_t taken = SDL_min((int64_t)(r->length - r->at), n);
        r->at += (int)taken, r->offset += taken, n -= taken;
    }
    return true;
}

// Whether the file has no byte left; refills the buffer when it has.
static inline bool byte_reader_at_end(byte_reader *r) { return !byte_reader_fill(r); }
