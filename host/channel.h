// channel: everything the render and simulation threads share. Created at start-up before
// either thread uses it and handed to both; every field either threadsafe or fixed by then.
#pragma once
#include <SDL.h>
#include <stdint.h>

#include "host/threadstream.h"

struct thread_channel {
    threadstreamqueue *frame_queue; // simulation to render: one stream of draw commands per frame
    threadstreamqueue *event_queue; // render to simulation: the SDL events the render thread polled
    uint32_t window_id;             // set with the window, before the simulation starts
    SDL_atomic_t quit;              // set by either thread to end the run
    SDL_atomic_t render_fps;        // written by the render thread, reported by the simulation
    SDL_atomic_t keyboard_focus;    // written by the render thread as it polls window events
    SDL_atomic_t mouse_focus;
};

// NULL with SDL's error set when out of memory. Both focus flags start set.
thread_channel *thread_channel_create(void);
void thread_channel_delete(thread_channel *channel);
// Records a polled window event's focus change when it concerns the channel's window.
void thread_channel_note_focus(thread_channel *channel, const SDL_Event *event);
