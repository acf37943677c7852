#include "base/channel.h"

thread_channel *thread_channel_create(void)
{
    thread_channel *channel = (thread_channel *)SDL_calloc(1, sizeof(thread_channel));
    if (!channel) {
        SDL_OutOfMemory();
        return nullptr;
    }
    channel->frame_queue = threadstreamqueue_allocate();
    channel->event_queue = threadstreamqueue_allocate();
    channel->clipboard_lock = SDL_CreateMutex();
    channel->clipboard_ready = SDL_CreateCond();
    channel->render_thread = SDL_ThreadID();
    channel->frame_lock = SDL_CreateMutex();
    channel->frame_queued = SDL_CreateCond();
    if (!channel->frame_queue || !channel->event_queue || !channel->clipboard_lock || !channel->clipboard_ready ||
        !channel->frame_lock || !channel->frame_queued) {
        thread_channel_delete(channel);
        SDL_OutOfMemory();
        return nullptr;
    }
    SDL_AtomicSet(&channel->keyboard_focus, 1);
    SDL_AtomicSet(&channel->mouse_focus, 1);
    return channel;
}

void thread_channel_delete(thread_channel *channel)
{
    if (!channel) return;
    threadstreamqueue_free(channel->frame_queue);
    threadstreamqueue_free(channel->event_queue);
    if (channel->clipboard_lock) SDL_DestroyMutex(channel->clipboard_lock);
    if (channel->clipboard_ready) SDL_DestroyCond(channel->clipboard_ready);
    if (channel->frame_lock) SDL_DestroyMutex(channel->frame_lock);
    if (channel->frame_queued) SDL_DestroyCond(channel->frame_queued);
    SDL_free(channel->clipboard_text);
    SDL_free(channel);
}

void thread_channel_put_frame(thread_channel *channel, threadstream *frame)
{
    threadstreamqueue_putitem(channel->frame_queue, frame);
    SDL_LockMutex(channel->frame_lock);
    SDL_CondSignal(channel->frame_queued);
    SDL_UnlockMutex(channel->frame_lock);
}

void thread_channel_wait_frame(thread_channel *channel, uint32_t ms)
{
    SDL_LockMutex(channel->frame_lock);
    // Counted under the lock the frame's signal takes: a frame queued now cannot be missed.
    if (threadstreamqueue_getcount(channel->frame_queue) == 0)
        SDL_CondWaitTimeout(channel->frame_queued, channel->frame_lock, ms);
    SDL_UnlockMutex(channel->frame_lock);
}

void thread_channel_note_focus(thread_channel *channel, const SDL_Event *event)
{
    if (event->type != SDL_WINDOWEVENT || event->window.windowID != channel->window_id) return;
    switch (event->window.event) {
    case SDL_WINDOWEVENT_ENTER: SDL_AtomicSet(&channel->mouse_focus, 1); break;
    case SDL_WINDOWEVENT_LEAVE: SDL_AtomicSet(&channel->mouse_focus, 0); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED: SDL_AtomicSet(&channel->keyboard_focus, 1); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: SDL_AtomicSet(&channel->keyboard_focus, 0); break;
    default: break;
    }
}

void thread_channel_note_quit(thread_channel *channel, const SDL_Event *event)
{
    if (event->type != SDL_QUIT) return;
    // One past the clock, so that 0 stays "not asked".
    uint32_t stamp = SDL_GetTicks() + 1u;
    SDL_AtomicCAS(&channel->quit_asked_at, 0, (int)(stamp ? stamp : 1u));
}

int thread_channel_quit_overdue(thread_channel *channel, uint32_t grace_ms)
{
    uint32_t asked = (uint32_t)SDL_AtomicGet(&channel->quit_asked_at);
    if (asked == 0 || SDL_AtomicGet(&channel->quit) != 0) return 0;
    return SDL_GetTicks() + 1u - asked >= grace_ms;
}

char *thread_channel_clipboard_text(thread_channel *channel)
{
    if (!channel || SDL_ThreadID() == channel->render_thread) {
        char *text = SDL_GetClipboardText();
        return text ? text : SDL_strdup("");
    }
    char *text = nullptr;
    SDL_LockMutex(channel->clipboard_lock);
    SDL_AtomicSet(&channel->clipboard_wanted, 1);
    // Short waits: the render thread stops serving once the run ends.
    for (int waited = 0; !channel->clipboard_text && waited < 1000 && SDL_AtomicGet(&channel->quit) == 0; waited += 50)
        SDL_CondWaitTimeout(channel->clipboard_ready, channel->clipboard_lock, 50);
    text = channel->clipboard_text;
    channel->clipboard_text = nullptr;
    SDL_AtomicSet(&channel->clipboard_wanted, 0);
    SDL_UnlockMutex(channel->clipboard_lock);
    return text ? text : SDL_strdup("");
}

void thread_channel_serve_clipboard(thread_channel *channel)
{
    if (SDL_AtomicGet(&channel->clipboard_wanted) == 0) return;
    char *text = SDL_GetClipboardText();
    SDL_LockMutex(channel->clipboard_lock);
    if (SDL_AtomicGet(&channel->clipboard_wanted)) {
        SDL_free(channel->clipboard_text);
        channel->clipboard_text = text;
        text = nullptr;
        SDL_AtomicSet(&channel->clipboard_wanted, 0);
        SDL_CondSignal(channel->clipboard_ready);
    }
    SDL_UnlockMutex(channel->clipboard_lock);
    SDL_free(text);
}
