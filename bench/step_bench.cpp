// Prints the per-frame step's own cost with an empty game tick: the whole simulation step
// (queued files, rates, input, the runtime's tick, the frame's passes block, hand-over)
// run back to back in-process, against a render context that only has its queues.
#include "host/simulation.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <chrono>
#include <stdio.h>

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
        simulation_tick();
        drain();
    }
    const int steps = 20000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; i++) {
        simulation_tick();
        drain();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("step overhead with an empty tick: %.2f us per step (%d steps)\n", seconds * 1e6 / steps, steps);
    thread_channel_delete(rc);
    game_ctx.channel = nullptr;
    host_fixture_down(&fx);
    return 0;
}
