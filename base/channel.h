// channel: everything the render and simulation threads share. Created at start-up before
// either thread uses it and handed to both; every field either threadsafe or fixed by then.
#pragma once
#include <SDL.h>
#include <stdint.h>

#include "base/threadstream.h"

struct thread_channel {
    threadstreamqueue *frame_queue; // simulation to render: one stream of draw commands per frame
    threadstreamqueue *event_queue; // render to simulation: the SDL events the render thread polled
    uint32_t window_id;             // set with the window, before the simulation starts
    SDL_atomic_t quit;              // set by either thread to end the run
    SDL_atomic_t quit_asked_at;     // SDL_GetTicks() + 1 when the first quit event was polled, else 0
    SDL_atomic_t render_fps;        // written by the render thread, reported by the simulation
    SDL_atomic_t keyboard_focus;    // written by the render thread as it polls window events
    SDL_atomic_t mouse_focus;
    // The clipboard is a window call, made on the render thread for the simulation's paste.
    SDL_threadID render_thread;     // the creating thread, which renders
    SDL_atomic_t clipboard_wanted;  // set by the simulation, cleared by the render thread
    SDL_mutex *clipboard_lock;      // guards clipboard_text
    SDL_cond *clipboard_ready;      // signalled when clipboard_text is set
    char *clipboard_text;           // written by the render thread, taken by the simulation
    // A new frame wakes a render thread waiting for one.
    SDL_mutex *frame_lock;
    SDL_cond *frame_queued;
};

// NULL with SDL's error set when out of memory. Both focus flags start set.
thread_channel *thread_channel_create(void);
void thread_channel_delete(thread_channel *channel);
// Queues a finished frame for the render thread and wakes it.
void thread_channel_put_frame(thread_channel *channel, threadstream *frame);
// Waits up to ms for a frame to be queued (at once when one is); no SDL event wakes it.
void thread_channel_wait_frame(thread_channel *channel, uint32_t ms);
// Records a polled window event's focus change when it concerns the channel's window.
void thread_channel_note_focus(thread_channel *channel, const SDL_Event *event);
// Records when the first quit event (SIGTERM, the window's close) was polled.
void thread_channel_note_quit(thread_channel *channel, const SDL_Event *event);
// Whether a quit event was polled at least grace_ms ago and the run has not ended since:
// the simulation is stuck in a step (a tick or a test that never returns).
int thread_channel_quit_overdue(thread_channel *channel, uint32_t grace_ms);
// The clipboard's text (free with SDL_free; "" when there is none). On the render thread it
// is read at once; from another thread it is asked of the render thread, waiting at most a
// second and giving up when the run is ending.
char *thread_channel_clipboard_text(thread_channel *channel);
// Run by the render thread once a frame: answers a waiting clipboard request.
void thread_channel_serve_clipboard(thread_channel *channel);
