// Prints the per-frame step's own cost with an empty game tick: the whole simulation step
// (queued files, rates, input, the runtime's tick, the frame's passes block, hand-over)
// in-process, against a render context that only has its queues; run back to back, and
// paced at 60 Hz as the simulation thread runs it (caches go cold between steps).
#include "host/simulation.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <thread>
#include <vector>

int main()
{
    host_fixture fx;
    if (!host_fixture_up(&fx, true)) return 1;
    thread_channel *rc = host_fixture_queues();
    write_file(fx.game_dir + "/app/main.rb", "def tick args; end\n");
    // Pretend each step comes 16 ms after the last so the 13 ms rule never skips one.
    host_fixture_eval("class ZOQ::Runtime; alias host_tick tick; def tick(ms); @fake_ms = (@fake_ms || 0) + 16; host_tick(@fake_ms); end; end");
    auto drain = [&] {
        threadstream *f;
        while ((f = threadstreamqueue_getitem(rc->frame_queue))) threadstream_free(f);
    };
    for (int i = 0; i < 100; i++) {
        simulation_tick(&test_game);
        drain();
    }
    const int steps = 20000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; i++) {
        simulation_tick(&test_game);
        drain();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("step overhead with an empty tick, back to back: %.2f us per step (%d steps)\n", seconds * 1e6 / steps, steps);
    std::vector<double> paced;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < 300; i++) {
        next += std::chrono::microseconds(16667);
        std::this_thread::sleep_until(next);
        auto t = std::chrono::steady_clock::now();
        simulation_tick(&test_game);
        drain();
        paced.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count() * 1e6);
    }
    std::sort(paced.begin(), paced.end());
    printf("step overhead with an empty tick, paced at 60 Hz: median %.2f us, 90th percentile %.2f us (%zu steps)\n",
           paced[paced.size() / 2], paced[paced.size() * 9 / 10], paced.size());
    thread_channel_delete(rc);
    test_game.channel = nullptr;
    host_fixture_down(&fx);
    return 0;
}
