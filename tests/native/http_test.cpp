// The HTTP client as the step and shutdown drive it: http_tick, then http_quit with transfers
// still running (the Ruby-facing behaviour is in tests/ruby/http_test.rb).
#include "services/http_client.h"
#include "support/host_fixture.h"
#include "support/http_test_server.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

// Pumps until the Ruby condition holds; false after 20 s.
static bool pump_until(const std::string &condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (host_fixture_eval(condition) != "true") {
        if (std::chrono::steady_clock::now() > deadline) return false;
        http_tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(HttpClient, ShutdownReleasesRunningTransfersWithoutCallingRubyAndTheNextRequestSetsUpAgain)
{
    host_fixture fx;
    ASSERT_TRUE(host_fixture_up(&fx, true));
    http_test_server *server = http_test_server_start();
    ASSERT_NE(nullptr, server);
    std::string base = "'http://127.0.0.1:" + std::to_string(http_test_server_port(server));
    host_fixture_eval("$calls = []\n"
                      "class Counting\n"
                      "  def initialize(n) @n = n end\n"
                      "  def http_response_header; $calls << [@n, :header]; true; end\n"
                      "  def http_response_data; $calls << [@n, :data]; true; end\n"
                      "  def http_done; $calls << [@n, :done]; end\n"
                      "end\n"
                      "$misc = FFI::Misc.new\n"
                      "$running = [$misc.http_get(Counting.new(1), " + base + "/slow', nil),\n"
                      "            $misc.http_get(Counting.new(2), " + base + "/trickle', nil)]\n"
                      "$zoq.http_get(" + base + "/trickle')\n"
                      "nil");
    // One waiting for its body, two in the middle of theirs.
    ASSERT_TRUE(pump_until("$calls.include?([1, :header]) && $calls.include?([2, :data]) && "
                           "$zoq.instance_variable_get(:@protect_from_gc)[0].state[:response_data].size > 0"));
    host_fixture_eval("$calls.clear");
    http_quit();
    EXPECT_EQ("[]", host_fixture_eval("$calls"));
    EXPECT_EQ("[false, false]", host_fixture_eval("$running.map { |r| r[:complete] }"));
    http_tick(); // a pump after shutdown finds nothing to do
    EXPECT_EQ("[]", host_fixture_eval("$calls"));

    host_fixture_eval("$after = $misc.http_get(Counting.new(3), " + base + "/hello', nil)");
    ASSERT_TRUE(pump_until("$after[:complete]"));
    EXPECT_EQ("[200, true, true]", host_fixture_eval("[$after[:http_response_code], $calls.include?([3, :data]), "
                                                     "$calls.include?([3, :done])]"));
    host_fixture_down(&fx);
    http_test_server_stop(server);
}
