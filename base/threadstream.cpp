#include "base/threadstream.h"

#include <string.h>

threadstream_pool threadstream_pool_global;

static const char empty_string[1] = {0};

int threadstream_init(void)
{
    SDL_AtomicSetPtr(&threadstream_pool_global.head, nullptr);
    threadstream_pool_global.mutex = SDL_CreateMutex();
    return threadstream_pool_global.mutex != nullptr;
}

void threadstream_quit(void)
{
    threadstream *s = (threadstream *)SDL_AtomicGetPtr(&threadstream_pool_global.head);
    while (s) {
        threadstream *next = s->next;
        SDL_free(s->data);
        SDL_free(s);
        s = next;
    }
    SDL_AtomicSetPtr(&threadstream_pool_global.head, nullptr);
    if (threadstream_pool_global.mutex) SDL_DestroyMutex(threadstream_pool_global.mutex);
    threadstream_pool_global.mutex = nullptr;
}

threadstream *threadstream_allocate(void)
{
    SDL_LockMutex(threadstream_pool_global.mutex);
    threadstream *s = (threadstream *)SDL_AtomicGetPtr(&threadstream_pool_global.head);
    if (s) {
        SDL_AtomicSetPtr(&threadstream_pool_global.head, s->next);
        SDL_UnlockMutex(threadstream_pool_global.mutex);
        s->next = nullptr;
        return s;
    }
    SDL_AtomicSetPtr(&threadstream_pool_global.head, nullptr);
    SDL_UnlockMutex(threadstream_pool_global.mutex);

    s = (threadstream *)SDL_calloc(1, sizeof(threadstream));
    if (!s) return nullptr;
    s->data = (uint8_t *)SDL_malloc(THREADSTREAM_INITIAL_CAPACITY);
    if (!s->data) {
        SDL_free(s);
        return nullptr;
    }
    s->capacity = THREADSTREAM_INITIAL_CAPACITY;
    return s;
}

void threadstream_free(threadstream *stream)
{
    if (!stream) return;
    stream->error = 0;
    stream->read_position = 0;
    stream->length = 0;
    SDL_LockMutex(threadstream_pool_global.mutex);
    stream->next = (threadstream *)SDL_AtomicGetPtr(&threadstream_pool_global.head);
    SDL_AtomicSetPtr(&threadstream_pool_global.head, stream);
    SDL_UnlockMutex(threadstream_pool_global.mutex);
}

int threadstream_pool_size(void)
{
    int n = 0;
    SDL_LockMutex(threadstream_pool_global.mutex);
    for (threadstream *s = (threadstream *)SDL_AtomicGetPtr(&threadstream_pool_global.head); s; s = s->next) n++;
    SDL_UnlockMutex(threadstream_pool_global.mutex);
    return n;
}

int threadstream_claim_space(threadstream *stream, size_t n)
{
    if (!stream || stream->error) return 0;
    // Lengths that cannot be described by the 32-bit count, or whose sum overflows, never fit.
    if (n >= THREADSTREAM_NULL_MARKER || stream->length > SIZE_MAX - n) {
        stream->error = 1;
        return 0;
    }
    size_t need = stream->length + n;
    if (need <= stream->capacity) return 1;
    size_t capacity = stream->capacity;
    while (capacity < need) {
        if (capacity > SIZE_MAX / 2) {
            stream->error = 1;
            return 0;
        }
        capacity *= 2;
    }
    uint8_t *grown = (uint8_t *)SDL_realloc(stream->data, capacity);
    if (!grown) {
        stream->error = 1;
        return 0;
    }
    stream->data = grown;
    stream->capacity = capacity;
    return 1;
}

static int pack_bytes(threadstream *stream, const void *bytes, size_t n)
{
    if (!threadstream_claim_space(stream, n)) return 0;
    memcpy(stream->data + stream->length, bytes, n);
    stream->length += n;
    return 1;
}

int threadstream_pack_int(threadstream *stream, int32_t value) { return pack_bytes(stream, &value, 4); }
int threadstream_pack_u32(threadstream *stream, uint32_t value) { return pack_bytes(stream, &value, 4); }
int threadstream_pack_float(threadstream *stream, float value) { return pack_bytes(stream, &value, 4); }
int threadstream_pack_size_t(threadstream *stream, uint64_t value) { return pack_bytes(stream, &value, 8); }

int threadstream_pack_buffer(threadstream *stream, const void *pointer, size_t n)
{
    if (!stream || stream->error) return 0;
    if (!pointer) return threadstream_pack_u32(stream, THREADSTREAM_NULL_MARKER);
    if (n >= THREADSTREAM_NULL_MARKER) { // the count could not be told from the null marker
        stream->error = 1;
        return 0;
    }
    if (!threadstream_claim_space(stream, n + 5)) return 0;
    uint32_t count = (uint32_t)n;
    memcpy(stream->data + stream->length, &count, 4);
    if (n) memcpy(stream->data + stream->length + 4, pointer, n);
    stream->data[stream->length + 4 + n] = 0;
    stream->length = threadstream_pad4(stream->length + 5 + n);
    return 1;
}

int threadstream_pack_string(threadstream *stream, const char *text)
{
    return threadstream_pack_buffer(stream, text, text ? strlen(text) : 0);
}

int threadstream_eos(const threadstream *stream)
{
    return !stream || stream->error || stream->read_position >= stream->length;
}

static int unpack_bytes(threadstream *stream, void *out, size_t n)
{
    memset(out, 0, n);
    if (!stream) return 0;
    if (stream->length < stream->read_position || stream->length - stream->read_position < n) {
        stream->error = 1;
        return 0;
    }
    memcpy(out, stream->data + stream->read_position, n);
    stream->read_position += n;
    return 1;
}

uint64_t threadstream_unpack_size_t(threadstream *stream)
{
    uint64_t v;
    unpack_bytes(stream, &v, 8);
    return v;
}

int32_t threadstream_unpack_int(threadstream *stream)
{
    int32_t v;
    unpack_bytes(stream, &v, 4);
    return v;
}

float threadstream_unpack_float(threadstream *stream)
{
    float v;
    unpack_bytes(stream, &v, 4);
    return v;
}

const char *threadstream_unpack_buffer(threadstream *stream, size_t *out_length)
{
    if (out_length) *out_length = 0;
    if (!stream) return empty_string;
    uint32_t n;
    if (!unpack_bytes(stream, &n, 4)) return empty_string;
    if (n == THREADSTREAM_NULL_MARKER) return nullptr;
    size_t remaining = stream->length - stream->read_position;
    if ((size_t)n + 1 > remaining) {
        stream->error = 1;
        return empty_string;
    }
    const char *p = (const char *)stream->data + stream->read_position;
    if (out_length) *out_length = n;
    stream->read_position = threadstream_pad4(stream->read_position + n + 1);
    return p;
}

const char *threadstream_unpack_string(threadstream *stream, size_t *out_length)
{
    return threadstream_unpack_buffer(stream, out_length);
}

threadstreamqueue *threadstreamqueue_allocate(void)
{
    threadstreamqueue *q = (threadstreamqueue *)SDL_calloc(1, sizeof(threadstreamqueue));
    if (!q) return nullptr;
    q->mutex = SDL_CreateMutex();
    if (!q->mutex) {
        SDL_free(q);
        return nullptr;
    }
    return q;
}

void threadstreamqueue_free(threadstreamqueue *queue)
{
    if (!queue) return;
    threadstream *s = queue->head;
    while (s) {
        threadstream *next = s->next;
        threadstream_free(s);
        s = next;
    }
    SDL_DestroyMutex(queue->mutex);
    SDL_free(queue);
}

void threadstreamqueue_putitem(threadstreamqueue *queue, threadstream *stream)
{
    if (!queue || !stream) return;
    stream->next = nullptr;
    SDL_LockMutex(queue->mutex);
    if (queue->tail) queue->tail->next = stream;
    else queue->head = stream;
    queue->tail = stream;
    SDL_AtomicAdd(&queue->count, 1);
    SDL_UnlockMutex(queue->mutex);
}

threadstream *threadstreamqueue_getitem(threadstreamqueue *queue)
{
    if (!queue) return nullptr;
    SDL_LockMutex(queue->mutex);
    threadstream *s = queue->head;
    if (s) {
        queue->head = s->next;
        if (!queue->head) queue->tail = nullptr;
        s->next = nullptr;
        SDL_AtomicAdd(&queue->count, -1);
    }
    SDL_UnlockMutex(queue->mutex);
    return s;
}

int threadstreamqueue_getcount(threadstreamqueue *queue)
{
    return queue ? SDL_AtomicGet(&queue->count) : 0;
}
