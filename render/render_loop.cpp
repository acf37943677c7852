// One step of the render thread: hand polled events to the simulation, draw the queued
// frames (only the newest to the window), present, and measure the rate.
//
// Events are handed over as they arrive, not once per step: the step spends its time waiting
// for the simulation's next frame, taking SDL's events meanwhile, so a key pressed reaches
// the simulation's next step. Only drawing and presenting hold an event back, and they follow
// a frame at once, just after a simulation step, when its next step is furthest away.
#include "render/render.h"
#include "render/event_format.h"

// Takes the events SDL has (after waiting up to wait_ms for the first one) into a stream
// for the simulation.
static void poll_events(render_context *ctx, uint32_t wait_ms)
{
    threadstream *stream = threadstream_allocate();
    if (!stream) {
        // The events stay in SDL's queue for a later step.
        if (wait_ms) SDL_Delay(wait_ms);
        return;
    }
    uint64_t count = 0;
    event_stream_begin(stream);
    while (SDL_Event *e = event_stream_slot(stream)) {
        if (!(wait_ms ? SDL_WaitEventTimeout(e, (int)wait_ms) : SDL_PollEvent(e))) break;
        wait_ms = 0;
        thread_channel_note_focus(ctx->channel, e);
        thread_channel_note_quit(ctx->channel, e);
        if (e->type == SDL_WINDOWEVENT && e->window.windowID == ctx->channel->window_id &&
            e->window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            SDL_GetRendererOutputSize(ctx->renderer, &ctx->output_width, &ctx->output_height);
        event_stream_commit(stream);
        count++;
    }
    if (!stream->error && count > 0) {
        event_stream_finish(stream, count);
        threadstreamqueue_putitem(ctx->channel->event_queue, stream);
    } else {
        threadstream_free(stream);
    }
}

enum wait_end { WAIT_FOR_FRAME, WAIT_FOR_FOCUS };

static bool wait_ended(render_context *ctx, wait_end end)
{
    if (end == WAIT_FOR_FRAME) return threadstreamqueue_getcount(ctx->channel->frame_queue) > 0;
    return SDL_AtomicGet(&ctx->channel->keyboard_focus) != 0;
}

// Waits until the performance counter reaches until, or sooner for a queued frame or the
// regained keyboard focus. In a window the wait is on SDL's events, each handed over as it
// comes, and a queued frame is looked for every millisecond (a wake-up the simulation sent
// through the X server came late while the server was busy with a present). Headless
// drivers deliver no input: there a frame ends the wait at once, and events wait for the
// step's own poll.
static void wait_until(render_context *ctx, uint64_t until, wait_end end)
{
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    for (;;) {
        if (wait_ended(ctx, end)) return;
        uint64_t now = SDL_GetPerformanceCounter();
        if (now >= until) return;
        uint32_t ms = (uint32_t)((until - now) * 1000 / frequency);
        if (ms == 0) return; // under a millisecond early costs nothing that matters
        if (ctx->events_arrive) poll_events(ctx, end == WAIT_FOR_FRAME ? 1 : ms);
        else if (end == WAIT_FOR_FRAME) thread_channel_wait_frame(ctx->channel, ms);
        else SDL_Delay(ms);
    }
}

// Draws the queued frames, the newest to the window (the last one again when none came).
static void draw_frames(render_context *ctx)
{
    threadstream *show = nullptr;
    int rerun = 0;
    int n = threadstreamqueue_getcount(ctx->channel->frame_queue);
    if (n >= 1) {
        threadstream_free(ctx->last_frame);
        ctx->last_frame = nullptr;
        for (int i = 0; i < n; i++) {
            threadstream *frame = threadstreamqueue_getitem(ctx->channel->frame_queue);
            if (!frame) break;
            if (i < n - 1) {
                draw_process_frame(ctx, frame, 1, 0);
                threadstream_free(frame);
            } else {
                show = frame;
            }
        }
    } else {
        show = ctx->last_frame;
        rerun = 1;
    }

    // Taken after the frames: a title asked for in a tick is on the window with that tick's frame.
    SDL_LockMutex(ctx->title_lock);
    char *title = ctx->pending_title;
    ctx->pending_title = nullptr;
    SDL_UnlockMutex(ctx->title_lock);
    if (title) {
        SDL_SetWindowTitle(ctx->window, title);
        SDL_free(title);
    }

    if (show) {
        ctx->clear_pending = 1;
        draw_process_frame(ctx, show, 0, rerun);
        if (ctx->clear_pending) {
            SDL_SetRenderDrawColor(ctx->renderer, ctx->background_r, ctx->background_g, ctx->background_b, 255);
            SDL_RenderClear(ctx->renderer);
        }
        show->read_position = 0;
        ctx->last_frame = show;
    } else {
        SDL_SetRenderDrawColor(ctx->renderer, 0, 0, 0, 255);
        SDL_RenderClear(ctx->renderer);
    }
}

void draw_iteration(render_context *ctx)
{
    if (!ctx) return;
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    // A new frame is drawn as soon as it comes; the last one is drawn again only when none
    // came for a whole refresh (a present that returns at once, headless, would otherwise
    // show an unchanged frame thousands of times a second). Drawing it again sooner would
    // double the rasterizer's work whenever the simulation's steps and the display's
    // refreshes drift apart.
    if (ctx->last_present) wait_until(ctx, ctx->last_present + ctx->refresh_ticks, WAIT_FOR_FRAME);
    poll_events(ctx, 0);

    draw_frames(ctx);
    SDL_RenderPresent(ctx->renderer);
    ctx->last_present = SDL_GetPerformanceCounter();

    // Without the keyboard focus the window draws at most about 20 frames a second.
    if (SDL_AtomicGet(&ctx->channel->keyboard_focus) == 0)
        wait_until(ctx, ctx->last_present + 50 * frequency / 1000, WAIT_FOR_FOCUS);
    SDL_AtomicSet(&ctx->channel->render_fps, (int)fps_iteration(&ctx->fps));
}
