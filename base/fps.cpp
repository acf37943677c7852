#include "base/fps.h"

#include <SDL.h>

uint32_t fps_iteration_at(fps_state *s, uint32_t now)
{
    uint32_t elapsed = now - s->window_start;
    s->window_frames += 1;
    uint32_t frames = s->window_frames;
    if (elapsed >= 125) {
        s->sum_ms += elapsed - s->ms[s->index];
        s->sum_frames += frames - s->frames[s->index];
        s->ms[s->index] = elapsed;
        s->frames[s->index] = frames;
        s->window_start = now;
        s->window_frames = 0;
        s->index = (s->index + 1) & 7;
        elapsed = 0;
        frames = 0;
    }
    uint32_t total = s->sum_ms + elapsed;
    if (total == 0) return 0;
    return (uint32_t)((double)(s->sum_frames + frames) / (total / 1000.0) + 0.5);
}

uint32_t fps_iteration(fps_state *state) { return fps_iteration_at(state, SDL_GetTicks()); }
