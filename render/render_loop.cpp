// One step of the render thread: hand polled events to the simulation, draw the queued
// frames (only the newest to the window), present, and measure the rate.
#include "render/render.h"
#include "render/event_format.h"

static void poll_events(render_context *ctx)
{
    threadstream *stream = threadstream_allocate();
    if (!stream) return;
    uint64_t count = 0;
    event_stream_begin(stream);
    while (SDL_Event *e = event_stream_slot(stream)) {
        if (!SDL_PollEvent(e)) break;
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

// Present that waits for the display paces the loop by itself. One that returns at once
// (headless, or vsync not honoured) would re-present an unchanged frame thousands of times a
// second: then an idle step waits, in 1 ms sleeps, for a new frame or one refresh at most.
#define PRESENT_WAITS_US 3000

static void wait_for_frame(render_context *ctx)
{
    if (ctx->present_us >= PRESENT_WAITS_US || ctx->last_present == 0) return;
    uint64_t until = ctx->last_present + SDL_GetPerformanceFrequency() / 60;
    while (threadstreamqueue_getcount(ctx->channel->frame_queue) == 0 && SDL_GetPerformanceCounter() < until) SDL_Delay(1);
}

static void present(render_context *ctx)
{
    SDL_RenderFlush(ctx->renderer); // time the present alone, not the frame's queued drawing
    uint64_t before = SDL_GetPerformanceCounter();
    SDL_RenderPresent(ctx->renderer);
    ctx->last_present = SDL_GetPerformanceCounter();
    uint64_t us = (ctx->last_present - before) * 1000000u / SDL_GetPerformanceFrequency();
    ctx->present_us = (uint32_t)((ctx->present_us * 7u + (us > 1000000u ? 1000000u : us)) / 8u);
}

void draw_iteration(render_context *ctx)
{
    if (!ctx) return;
    wait_for_frame(ctx);
    poll_events(ctx);

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
    present(ctx);
    if (SDL_AtomicGet(&ctx->channel->keyboard_focus) == 0) SDL_Delay(50);
    SDL_AtomicSet(&ctx->channel->render_fps, (int)fps_iteration(&ctx->fps));
}
