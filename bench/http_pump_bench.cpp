// Prints what the step's HTTP pump costs with 0, 10 and 100 transfers running: bodies trickle
// from a local server (256 bytes per transfer every 10 ms) and reach Ruby as a game gets them,
// pumped at 60 Hz.
#include "services/http_client.h"
#include "support/host_fixture.h"
#include "support/http_test_server.h"

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <thread>

using bench_clock = std::chrono::steady_clock;

// Pumps at 60 Hz until the Ruby condition holds; false after 30 s.
static bool pump_until(const std::string &condition)
{
    auto deadline = bench_clock::now() + std::chrono::seconds(30);
    while (host_fixture_eval(condition) != "true") {
        if (bench_clock::now() > deadline) return false;
        http_tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    return true;
}

static long long delivered(void)
{
    return atoll(host_fixture_eval("$t.inject(0) { |sum, r| sum + r[:response_data].size }").c_str());
}

int main()
{
    host_fixture fx;
    if (!host_fixture_up(&fx, true)) return 1;
    http_test_server *server = http_test_server_start();
    if (!server) return 1;
    std::string base = "http://127.0.0.1:" + std::to_string(http_test_server_port(server));
    // The client set up, so that even no transfers means a real pump.
    host_fixture_eval("$t = [$zoq.http_get('" + base + "/hello')]");
    if (!pump_until("$t[0][:complete] && $t[0][:http_response_code] == 200")) {
        printf("no-client: the first request did not complete; no figures\n");
        return 1;
    }
    for (int transfers : {0, 10, 100}) {
        host_fixture_eval("$t = " + std::to_string(transfers) + ".times.map { $zoq.http_get('" + base + "/trickle') }");
        if (!pump_until("$t.all? { |r| r[:response_data].size > 0 }")) {
            printf("http pump with %3d transfers: not all transfers started; no figure\n", transfers);
            return 1;
        }
        long long before = delivered();
        const int steps = 300;
        double total = 0, worst = 0;
        auto next = bench_clock::now();
        for (int i = 0; i < steps; i++) {
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
            auto start = bench_clock::now();
            http_tick();
            double us = std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
            total += us;
            worst = std::max(worst, us);
        }
        long long moved = delivered() - before;
        // The picture: every transfer still running, and bodies reached Ruby meanwhile.
        if (host_fixture_eval("$t.none? { |r| r[:complete] }") != "true" || (transfers > 0 && moved <= 0)) {
            printf("http pump with %3d transfers: transfers ended or stalled; no figure\n", transfers);
            return 1;
        }
        printf("http pump with %3d transfers: %8.2f us per step (worst %8.2f us), %lld bytes into Ruby\n", transfers,
               total / steps, worst, moved);
        http_quit();
        host_fixture_eval("$zoq.instance_variable_get(:@protect_from_gc).clear");
    }
    host_fixture_down(&fx);
    http_test_server_stop(server);
    return 0;
}
