// Prints the cost of a whole simulation step over a game that has logged 1,000 lines, with
// the developer console closed and then open (slid in, drawing a page of the log), run in
// process as bench/step_bench.cpp runs it. Before each figure it checks what the step drew.
#include "host/simulation.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <string>
#include <thread>
#include <vector>

namespace {

thread_channel *rc;

void drain()
{
    threadstream *f;
    while ((f = threadstreamqueue_getitem(rc->frame_queue))) threadstream_free(f);
}

void step()
{
    simulation_tick(&test_game);
    drain();
}

// Median and 90th percentile of paced steps, in microseconds.
void measure(const char *what)
{
    const int steps = 3000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; i++) step();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<double> paced;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < 300; i++) {
        next += std::chrono::microseconds(16667);
        std::this_thread::sleep_until(next);
        auto t = std::chrono::steady_clock::now();
        step();
        paced.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count() * 1e6);
    }
    std::sort(paced.begin(), paced.end());
    printf("%-44s back to back %7.1f us per step; paced at 60 Hz median %7.1f us, 90th percentile %7.1f us\n", what,
           seconds * 1e6 / steps, paced[paced.size() / 2], paced[paced.size() * 9 / 10]);
}

} // namespace

int main()
{
    host_fixture fx;
    if (!host_fixture_up(&fx, true)) return 1;
    rc = host_fixture_queues();
    write_file(fx.game_dir + "/font.ttf", read_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    write_file(fx.game_dir + "/app/main.rb",
               "def tick args\n"
               "  args.outputs.solids << { x: 0, y: 0, w: 1280, h: 720, r: 0, g: 160, b: 60 }\n"
               "  args.outputs.labels << { x: 640, y: 400, text: \"tick #{args.tick_count}\", alignment_enum: 1 }\n"
               "  1000.times { |i| log \"log line #{i} of the benchmark, long enough to be a realistic message\" } if "
               "args.tick_count == 1\n"
               "end\n");
    host_fixture_eval("class ZOQ::Runtime; alias host_tick tick; def tick(ms); @fake_ms = (@fake_ms || 0) + 16; "
                      "host_tick(@fake_ms); end; end");
    for (int i = 0; i < 100; i++) step();
    // The console's page: panel, prompt and labels of the log in the reserved layer.
    const std::string count = "[$console.log.length, $args.outputs.reserved.count { |p| p[:primitive_marker] == :label }]";
    std::string closed = host_fixture_eval(count);
    if (closed.rfind("[10", 0) != 0 || closed.find(", 0]") == std::string::npos) {
        fprintf(stderr, "closed console: expected 1,000 logged lines and nothing drawn, got %s\n", closed.c_str());
        return 1;
    }
    measure("console closed, 1,000 lines logged:");
    host_fixture_eval("$console.show");
    for (int i = 0; i < 70; i++) step();
    std::string open = host_fixture_eval(count);
    std::string ready = host_fixture_eval("$console.ready? && $args.outputs.reserved.any? { |p| p[:w] == 1280 && p[:a] == 224 }");
    int labels = 0;
    sscanf(open.c_str() + open.find(',') + 1, "%d", &labels);
    if (ready != "true" || labels < 25) {
        fprintf(stderr, "open console: expected the panel and a page of labels, got %s %s\n", ready.c_str(), open.c_str());
        return 1;
    }
    measure("console open over 1,000 lines:");
    thread_channel_delete(rc);
    test_game.channel = nullptr;
    host_fixture_down(&fx);
    return 0;
}
