// The frame interpreter. First version: it walks the whole command layout, keeps the grid
// and background state and clears window passes; primitives, render targets, screenshots
// and the other one-off commands are read past without effect until rendering lands.
#include "render/render.h"

static void skip_fields(threadstream *s, int words)
{
    for (int i = 0; i < words; i++) threadstream_unpack_int(s);
}

static void read_primitive(threadstream *s, uint32_t code)
{
    switch (code) {
    case DRAW_SOLID:
    case DRAW_BORDER:
    case DRAW_LINE: skip_fields(s, 8); break;
    case DRAW_SPRITE:
        threadstream_unpack_string(s, nullptr);
        skip_fields(s, 21);
        break;
    case DRAW_LABEL:
        skip_fields(s, 2);
        threadstream_unpack_string(s, nullptr);
        threadstream_unpack_string(s, nullptr);
        skip_fields(s, 6);
        break;
    default: break;
    }
}

static void run_pass(render_context *ctx, threadstream *s, int catch_up)
{
    int32_t r = threadstream_unpack_int(s), g = threadstream_unpack_int(s), b = threadstream_unpack_int(s);
    threadstream_unpack_int(s); // alpha
    const char *target = threadstream_unpack_string(s, nullptr);
    threadstream_unpack_int(s); // width
    threadstream_unpack_int(s); // height
    threadstream_unpack_int(s); // render_transient
    if (!target && !catch_up) {
        ctx->background_r = (uint8_t)r;
        ctx->background_g = (uint8_t)g;
        ctx->background_b = (uint8_t)b;
        SDL_SetRenderTarget(ctx->renderer, nullptr);
        SDL_SetRenderDrawColor(ctx->renderer, (uint8_t)r, (uint8_t)g, (uint8_t)b, 255);
        SDL_RenderClear(ctx->renderer);
        ctx->clear_pending = 0;
    }
    while (!threadstream_eos(s)) {
        uint32_t code = (uint32_t)threadstream_unpack_int(s);
        if (code == DRAW_END_PASS) return;
        if (code >= DRAW_SOLID && code <= DRAW_BORDER) read_primitive(s, code);
    }
}

void draw_process_frame(render_context *ctx, threadstream *s, int catch_up, int rerun)
{
    while (!threadstream_eos(s)) {
        uint32_t code = (uint32_t)threadstream_unpack_int(s);
        switch (code) {
        case DRAW_NOP: break;
        case DRAW_SCREENSHOT:
            threadstream_unpack_string(s, nullptr);
            skip_fields(s, 9);
            break;
        case DRAW_SET_GRID: {
            float x = threadstream_unpack_float(s), y = threadstream_unpack_float(s);
            int32_t scale = threadstream_unpack_int(s);
            if (!rerun) {
                ctx->grid_x = (int32_t)x;
                ctx->grid_y = (int32_t)y;
                ctx->grid_scale = scale;
                ctx->grid_set = 1;
            }
            break;
        }
        case DRAW_PASSES: {
            int32_t count = threadstream_unpack_int(s);
            threadstream_unpack_int(s); // screenshot flag
            for (int32_t i = 0; i < count && !threadstream_eos(s); i++) run_pass(ctx, s, catch_up);
            break;
        }
        case DRAW_UNLOAD_SPRITE:
        case DRAW_OPENURL: threadstream_unpack_string(s, nullptr); break;
        case DRAW_TOGGLE_CURSOR: {
            int32_t show = threadstream_unpack_int(s);
            if (!rerun) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
            break;
        }
        case DRAW_TOGGLE_FULLSCREEN: threadstream_unpack_int(s); break;
        case DRAW_UPLOAD_PIXEL_ARRAY:
            threadstream_unpack_string(s, nullptr);
            skip_fields(s, 2);
            threadstream_unpack_buffer(s, nullptr);
            break;
        default: return; // a primitive or unknown code outside a pass ends the frame
        }
    }
}
