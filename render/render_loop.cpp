// One step of the render thread: hand polled events to the simulation, draw the queued
// frames (only the newest to the window), present, and measure the rate.
//
// Events are handed over as soon as they arrive, not once per step: the step spends its
// time waiting (for the simulation's next frame, for the moment to present), and it waits on
// SDL's events, so a key pressed meanwhile reaches the simulation's next step. Only drawing
// and the last stretch of a present that waits for the display hold an event back.
#include "render/render.h"
#include "render/event_format.h"

// Takes the events SDL has (after waiting up to wait_ms for the first one) into a stream
// for the simulation. The wake-up of a new frame ends the wait and is not handed over.
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
        if (thread_channel_is_wake(ctx->channel, e)) continue;
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

enum wait_end { WAIT_FOR_TIME, WAIT_FOR_FRAME, WAIT_FOR_FOCUS };

static bool wait_ended(render_context *ctx, wait_end end)
{
    switch (end) {
    case WAIT_FOR_FRAME: return threadstreamqueue_getcount(ctx->channel->frame_queue) > 0;
    case WAIT_FOR_FOCUS: return SDL_AtomicGet(&ctx->channel->keyboard_focus) != 0;
    default: return false;
    }
}

// Waits until the performance counter reaches until, or sooner for a queued frame or the
// regained keyboard focus. Waiting on SDL's events hands each one over as it comes; a driver
// that cannot wait on events (headless) waits on the frame queue, its events for the poll.
static void wait_until(render_context *ctx, uint64_t until, wait_end end)
{
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    for (;;) {
        if (wait_ended(ctx, end)) return;
        uint64_t now = SDL_GetPerformanceCounter();
        if (now >= until) return;
        uint32_t ms = (uint32_t)((until - now) * 1000 / frequency);
        if (ms == 0) return; // under a millisecond early costs nothing that matters
        if (ctx->channel->wake_by_event) poll_events(ctx, ms);
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
    SDL_RenderFlush(ctx->renderer);
}

// A present that waits for the display is called this long before the refresh: it then
// holds events back for about this long, and a wake-up a little late still meets the refresh.
#define PRESENT_MARGIN_MS 3

void draw_iteration(render_context *ctx)
{
    if (!ctx) return;
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    if (!ctx->refresh_ticks) ctx->refresh_ticks = frequency / 60;
    // When this step presents. Present that waits for the display paces the loop by itself;
    // it is called just before the refresh so that the step's wait, not present's, is where
    // the time goes. One that returns at once (headless) would re-present an unchanged frame
    // thousands of times a second: a step without a new frame presents once a refresh.
    uint64_t present_at = ctx->last_present + ctx->refresh_ticks;
    if (ctx->presents_wait) present_at -= PRESENT_MARGIN_MS * frequency / 1000;
    // A new frame is drawn as soon as it comes, as long as drawing it still meets the refresh.
    uint64_t draw_by = present_at - (ctx->presents_wait ? 2 * ctx->draw_ticks : 0);
    if (ctx->last_present) wait_until(ctx, draw_by, WAIT_FOR_FRAME);
    poll_events(ctx, 0);

    uint64_t drawing = SDL_GetPerformanceCounter();
    draw_frames(ctx);
    uint64_t drawn = SDL_GetPerformanceCounter();
    ctx->draw_ticks = (ctx->draw_ticks * 7 + (drawn - drawing)) / 8;
    if (ctx->presents_wait && ctx->last_present) wait_until(ctx, present_at, WAIT_FOR_TIME);
    SDL_RenderPresent(ctx->renderer);
    ctx->last_present = SDL_GetPerformanceCounter();

    // Without the keyboard focus the window draws at most about 20 frames a second.
    if (SDL_AtomicGet(&ctx->channel->keyboard_focus) == 0)
        wait_until(ctx, ctx->last_present + 50 * frequency / 1000, WAIT_FOR_FOCUS);
    SDL_AtomicSet(&ctx->channel->render_fps, (int)fps_iteration(&ctx->fps));
}
