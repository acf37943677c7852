#include "host/channel.h"

thread_channel *thread_channel_create(void)
{
    thread_channel *channel = (thread_channel *)SDL_calloc(1, sizeof(thread_channel));
    if (!channel) {
        SDL_OutOfMemory();
        return nullptr;
    }
    channel->frame_queue = threadstreamqueue_allocate();
    channel->event_queue = threadstreamqueue_allocate();
    if (!channel->frame_queue || !channel->event_queue) {
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
    SDL_free(channel);
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
