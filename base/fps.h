// fps: the frames-per-second counter each counting thread keeps (eight closed windows of
// at least 125 ms plus the open one).
#pragma once
#include <stdint.h>

struct fps_state {
    uint32_t sum_ms;
    uint32_t sum_frames;
    uint32_t window_start;
    uint32_t window_frames;
    uint32_t ms[8];
    uint32_t frames[8];
    int32_t index;
};

uint32_t fps_iteration(fps_state *state);
// The same with the clock given (now in milliseconds).
uint32_t fps_iteration_at(fps_state *state, uint32_t now);
