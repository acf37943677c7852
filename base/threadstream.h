// threadstream: growable byte buffers handed between the render and simulation threads,
// the process-wide pool that recycles them, and the FIFO queues they travel in.
#pragma once
#include <SDL.h>
#include <stddef.h>
#include <stdint.h>

struct threadstream {
    uint8_t *data;
    size_t read_position;
    size_t length;
    size_t capacity;
    uint32_t error;
    threadstream *next;
};

struct threadstream_pool {
    void *head; // threadstream*, read and written with SDL's atomic pointer functions
    SDL_mutex *mutex;
};

struct threadstreamqueue {
    SDL_mutex *mutex;
    threadstream *head;
    threadstream *tail;
    SDL_atomic_t count;
};

#define THREADSTREAM_INITIAL_CAPACITY 1024
#define THREADSTREAM_NULL_MARKER 0xFFFFFFFFu

// Fields are 4-byte aligned: a buffer's bytes and NUL are padded up to the next multiple of 4.
static inline size_t threadstream_pad4(size_t n) { return (n + 3) & ~(size_t)3; }

extern threadstream_pool threadstream_pool_global;

int threadstream_init(void);
void threadstream_quit(void);
threadstream *threadstream_allocate(void);
void threadstream_free(threadstream *stream);
// Number of streams resting in the pool (for tests and benchmarks).
int threadstream_pool_size(void);

int threadstream_claim_space(threadstream *stream, size_t n);
int threadstream_pack_int(threadstream *stream, int32_t value);
int threadstream_pack_u32(threadstream *stream, uint32_t value);
int threadstream_pack_float(threadstream *stream, float value);
int threadstream_pack_size_t(threadstream *stream, uint64_t value);
int threadstream_pack_buffer(threadstream *stream, const void *pointer, size_t n);
int threadstream_pack_string(threadstream *stream, const char *text);

int threadstream_eos(const threadstream *stream);
uint64_t threadstream_unpack_size_t(threadstream *stream);
int32_t threadstream_unpack_int(threadstream *stream);
float threadstream_unpack_float(threadstream *stream);
const char *threadstream_unpack_buffer(threadstream *stream, size_t *out_length);
const char *threadstream_unpack_string(threadstream *stream, size_t *out_length);

threadstreamqueue *threadstreamqueue_allocate(void);
void threadstreamqueue_free(threadstreamqueue *queue);
void threadstreamqueue_putitem(threadstreamqueue *queue, threadstream *stream);
threadstream *threadstreamqueue_getitem(threadstreamqueue *queue);
int threadstreamqueue_getcount(threadstreamqueue *queue);
