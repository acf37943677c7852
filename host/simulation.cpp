#include "host/simulation.h"
#include "base/channel.h"
#include "base/files.h"
#include "base/logfile.h"
#include "base/ruby.h"
#include "base/utf8.h"
#include "compile/compile.h"
#include "ffi/ffi.h"
#include "host/audio_sync.h"
#include "host/game.h"
#include "host/input.h"
#include "render/frame_format.h"
#include "services/http_client.h" // the step pumps the transfers

#include <mruby/array.h>
#include <mruby/error.h>
#include <mruby/string.h>
#include <string.h>
#include <time.h>

// Sleeps until the performance counter reaches deadline without spinning through the last
// millisecond (an idle game then costs little of a core): one sleep to 5 ms before it, then
// millisecond slices, the last one the exact rest. The slices matter on a loaded machine,
// where a thread that slept a whole step wakes several milliseconds late, and steps that
// come less than 13 ms apart skip the game's tick.
static void sleep_until(uint64_t deadline, uint64_t frequency)
{
    int64_t early = (int64_t)(deadline - SDL_GetPerformanceCounter()) - (int64_t)(frequency / 200);
    if (early > 0) {
        uint64_t ns = (uint64_t)early * 1000000000u / frequency;
        timespec wait = {(time_t)(ns / 1000000000u), (long)(ns % 1000000000u)};
        nanosleep(&wait, nullptr);
    }
    for (;;) {
        int64_t left = (int64_t)(deadline - SDL_GetPerformanceCounter());
        if (left <= 0) return;
        uint64_t ns = (uint64_t)left * 1000000000u / frequency;
        timespec wait = {0, (long)(ns < 1000000u ? ns : 1000000u)};
        nanosleep(&wait, nullptr);
    }
}

int simulation_thread_main(void *data)
{
    game_context *context = (game_context *)data;
    thread_channel *channel = context->channel;
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    const uint64_t step = frequency / 60;
    uint64_t deadline = SDL_GetPerformanceCounter();
    while (SDL_AtomicGet(&channel->quit) == 0) {
        if (!simulation_tick(context)) break;
        // Never reset: late steps are caught up back to back.
        deadline += step;
        sleep_until(deadline, frequency);
    }
    SDL_AtomicSet(&channel->quit, 1);
    return 0;
}

static mrb_value shift_entry(mrb_state *mrb, void *list) { return mrb_ary_shift(mrb, *(mrb_value *)list); }

// Whether exception is the framework's ZOQ::ExitRequest: an `exit`, whose status the runtime
// already has.
static bool is_exit_request(mrb_state *mrb, mrb_value exception)
{
    RClass *zoq = mrb_class_defined(mrb, "ZOQ") ? mrb_module_get(mrb, "ZOQ") : nullptr;
    if (!zoq || !mrb_class_defined_under(mrb, zoq, "ExitRequest")) return false;
    return mrb_obj_is_kind_of(mrb, exception, mrb_class_get_under(mrb, zoq, "ExitRequest"));
}

// A file whose code raised (or did not compile) is named to the runtime with its exception,
// which reports it as it reports an exception in the game's tick, with the whole backtrace,
// and keeps the game from going on as if it had loaded. Only when the runtime cannot say
// it is it logged here. An `exit` while loading is the run ending, not a failure.
static void report_load_failure(game_context *context, const char *path)
{
    mrb_state *mrb = context->interpreter;
    if (!mrb->exc) return;
    mrb_value exception = mrb_obj_value(mrb->exc);
    mrb->exc = nullptr;
    if (is_exit_request(mrb, exception)) return;
    mrb_gc_protect(mrb, exception); // held by the arena once the pending slot is cleared
    mrb_value reported = ruby_call2(mrb, context->runtime, "load_failed", mrb_str_new_cstr(mrb, path), exception);
    if (ruby_truthy(reported)) return;
    mrb->exc = mrb_obj_ptr(exception);
    ruby_log_exception(mrb);
}

mrb_int simulation_load_queued_files(game_context *context)
{
    mrb_state *mrb = context->interpreter;
    mrb_value list = ruby_call0(mrb, context->runtime, "get_ruby_reload_list");
    if (!mrb_array_p(list)) return 0;
    mrb_int count = RARRAY_LEN(list);
    // The runtime's own Array is emptied from the front: files it queues meanwhile load too.
    while (RARRAY_LEN(list) > 0) {
        int ai = mrb_gc_arena_save(mrb);
        // Shifting raises on a frozen Array, and there is no Ruby frame here to catch it.
        mrb_bool failed = FALSE;
        mrb_value entry = mrb_protect_error(mrb, shift_entry, &list, &failed);
        if (failed) {
            // The protected call hands the exception back and clears it: pend it again to log it.
            if (mrb_type(entry) == MRB_TT_EXCEPTION) mrb->exc = mrb_obj_ptr(entry);
            ruby_log_exception(mrb);
            mrb_gc_arena_restore(mrb, ai);
            break;
        }
        // A path with an embedded NUL names no file: skip it.
        size_t path_length = mrb_string_p(entry) ? (size_t)RSTRING_LEN(entry) : 0;
        char *path = path_length && files_path_of(RSTRING_PTR(entry), path_length)
                         ? (char *)SDL_malloc(path_length + 1)
                         : nullptr;
        if (path) {
            memcpy(path, RSTRING_PTR(entry), path_length);
            path[path_length] = 0;
            size_t length = 0;
            char *text = loadfile(path, &length);
            if (text) {
                const char *source = utf8_skip_bom(text, &length);
                ruby_load(mrb, source, length, path);
                SDL_free(text);
                // One file's exception must not break the files after it; the runtime hears of it.
                report_load_failure(context, path);
            }
            SDL_free(path);
        }
        mrb_gc_arena_restore(mrb, ai);
    }
    return count;
}

void simulation_build_frame(game_context *context)
{
    mrb_state *mrb = context->interpreter;
    mrb_value runtime = context->runtime;
    ruby_call0(mrb, runtime, "pixel_arrays");
    mrb_value passes = ruby_call0(mrb, runtime, "passes");
    // Anything but an Array counts as no passes.
    mrb_int count = mrb_array_p(passes) ? RARRAY_LEN(passes) : 0;
    int screenshot = ruby_truthy(ruby_call0(mrb, runtime, "take_screenshot"));
    frame_write_passes(context->current_frame_stream, (uint32_t)count, (uint32_t)screenshot);
    for (mrb_int i = 0; i < count; i++) {
        int ai = mrb_gc_arena_save(mrb);
        mrb_value pass = mrb_ary_entry(passes, i);
        mrb_value target = ruby_call1(mrb, runtime, "target", pass);
        mrb_value transient = ruby_call1(mrb, runtime, "render_transient", pass);
        mrb_value width = ruby_call1(mrb, runtime, "render_width", pass);
        mrb_value height = ruby_call1(mrb, runtime, "render_height", pass);
        mrb_value color = ruby_call0(mrb, pass, "background_color");
        // A colour that is not an Array, or a missing element, gives 0.
        int32_t rgba[4];
        for (mrb_int c = 0; c < 4; c++)
            rgba[c] = ruby_to_i32(mrb_array_p(color) ? mrb_ary_entry(color, c) : mrb_nil_value(), 0);
        frame_pass_header header = {rgba[0], rgba[1], rgba[2], rgba[3], {nullptr, 0},
                                    ruby_to_i32(width, 0), ruby_to_i32(height, 0), (uint32_t)ruby_truthy(transient)};
        if (mrb_string_p(target)) header.target = frame_string{RSTRING_PTR(target), (size_t)RSTRING_LEN(target)};
        frame_write_pass_header(context->current_frame_stream, header);
        ruby_call1(mrb, runtime, "primitives", pass);
        frame_write_u32(context->current_frame_stream, DRAW_END_PASS);
        mrb_gc_arena_restore(mrb, ai);
    }
    if (screenshot) ruby_call0(mrb, runtime, "draw_screenshots");
}

void simulation_queue_frame(game_context *context)
{
    threadstream *frame = context->current_frame_stream;
    context->current_frame_stream = nullptr;
    if (!frame) return;
    if (frame->error || !context->channel) threadstream_free(frame);
    else thread_channel_put_frame(context->channel, frame);
}

int simulation_tick(game_context *context)
{
    thread_channel *channel = context->channel;
    mrb_state *mrb = context->interpreter;
    context->current_frame_stream = threadstream_allocate();
    if (!context->current_frame_stream) return 0;

    uint32_t simulation_fps = fps_iteration(&context->simulation_fps);
    uint32_t rendering_fps = (uint32_t)SDL_AtomicGet(&channel->render_fps);
    int ai = mrb_gc_arena_save(mrb);

    mrb_int reload_count = simulation_load_queued_files(context);
    ruby_call2(mrb, context->runtime, "current_fps", mrb_int_value(mrb, simulation_fps),
               mrb_int_value(mrb, rendering_fps));
    input_report_controller_keys(context, 1);
    input_report_controller_keys(context, 2);
    input_dispatch_events(context);
    poll_controller_player(context, 1);
    poll_controller_player(context, 2);
    input_report_analog(context);
    game_tick(context);
    if (reload_count >= 1) ruby_call0(mrb, context->runtime, "reload_complete");

    simulation_build_frame(context);
    simulation_queue_frame(context);

    audio_sync_sources(context);
    http_tick();

    int quit = ruby_truthy(ruby_call0(mrb, context->runtime, "quit_requested?"));
    mrb_gc_arena_restore(mrb, ai);
    logfile_flush();
    if (context->p1_controller_key_states[CONTROLLER_KEY_QUIT] || quit ||
        context->p2_controller_key_states[CONTROLLER_KEY_QUIT])
        return 0;
    return 1;
}
