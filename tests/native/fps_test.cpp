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

// Read at any frame, the rate counts the window still open as well as the closed ones.
TEST(Fps, ReadMidWindowTheOpenWindowCounts)
{
    struct {
        uint32_t frame_ms;
        int frames; // the reading is the last frame's, its window still open
        uint32_t rate;
    } cases[] = {
        {17, 1, 59},   // only the open window
        {17, 5, 59},   // inside the first window
        {17, 203, 59}, // the ring full, three frames into the next window
        {10, 3, 100},
        {10, 1005, 100},
        {40, 2, 25},
        {40, 101, 25},
    };
    for (const auto &c : cases) {
        fps_state s = {};
        uint32_t now = 0, rate = 0;
        for (int i = 0; i < c.frames; i++) rate = fps_iteration_at(&s, now += c.frame_ms);
        ASSERT_NE(0u, s.window_frames) << "the last window must still be open";
        EXPECT_EQ(c.rate, rate) << c.frame_ms << " ms, " << c.frames << " frames";
    }
}
