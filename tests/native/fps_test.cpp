// The frame-rate counter over its ring of 125 ms windows.
#include "base/fps.h"

#include <gtest/gtest.h>

TEST(Fps, SixteenMillisecondFramesSettleAtSixtyThree)
{
    fps_state s = {};
    uint32_t now = 0;
    for (int i = 0; i < 8; i++) {
        now += 16;
        fps_iteration_at(&s, now);
    }
    EXPECT_EQ(1, s.index); // eight calls of 16 ms close the first window
    for (int i = 0; i < 200; i++) {
        now += 16;
        fps_iteration_at(&s, now);
    }
    // every window is 128 ms and 8 frames once the ring holds only such windows
    now += 16;
    uint32_t at_close = 0;
    for (int i = 0; i < 8; i++) {
        at_close = fps_iteration_at(&s, now);
        now += 16;
    }
    EXPECT_EQ(63u, at_close);
    fps_state zero = {};
    EXPECT_EQ(0u, fps_iteration_at(&zero, 0));
}
