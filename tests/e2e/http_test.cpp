// HTTP in the running executable: the step's pump, shutdown in the middle of transfers, and a
// machine whose libcurl cannot be used. The server is this test process's own.
#include "e2e/e2e.h"
#include "support/http_test_server.h"

#include <gtest/gtest.h>

static std::string base_url(http_test_server *server)
{
    return "http://127.0.0.1:" + std::to_string(http_test_server_port(server));
}

TEST(Http, WithoutAUsableLibcurlRequestsAnswerNilAndTheGameRunsOn)
{
    http_test_server *server = http_test_server_start();
    ASSERT_NE(nullptr, server);
    e2e_game g("http-nocurl");
    g.write("game/metadata/game_metadata.txt",
            "devid=acme\ndevtitle=Acme\ngameid=rocket\ngametitle=Rocket\nversion=1.2\n");
    g.write("game/app/main.rb", "def tick args\n"
                                "  $r = $zoq.http_get('" + base_url(server) + "/hello') if args.tick_count == 0\n"
                                "  puts \"answer #{$r.class}\" if args.tick_count == 0\n"
                                "  return unless args.tick_count >= 30 && ($r.nil? || $r[:complete])\n"
                                "  puts \"tick 30 code #{$r && $r[:http_response_code]}\"\n"
                                "  $zoq.request_quit\n"
                                "end\n");
    struct {
        std::vector<std::string> env;
        const char *answer;
        const char *ending;
        size_t requests;
    } cases[] = {
        {{"LD_LIBRARY_PATH=" ZINTAREL_HIDDEN_CURL}, "answer NilClass\n", "tick 30 code \n", 0},
        {{}, "answer Hash\n", "tick 30 code 200\n", 1},
    };
    for (const auto &c : cases) {
        size_t before = http_test_server_requests(server).size();
        e2e_run r = g.run({"game"}, 60, c.env);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find(c.answer)) << r.out;
        EXPECT_NE(std::string::npos, r.out.find(c.ending)) << r.out;
        std::vector<http_test_request> seen = http_test_server_requests(server);
        ASSERT_EQ(before + c.requests, seen.size());
        if (c.requests) {
            EXPECT_EQ("Zintarel-acme-rocket/1.2 (Linux)", http_test_header(seen.back(), "User-Agent"));
        }
    }
    http_test_server_stop(server);
}

TEST(Http, QuittingDuringTransfersExitsZeroEveryTime)
{
    http_test_server *server = http_test_server_start();
    ASSERT_NE(nullptr, server);
    // The transfers' stage when the game quits: before any answer, with headers only, with the
    // body flowing, and well into it.
    const char *stages[] = {"true", "!$t[:response_headers].empty?", "$t[:response_data].size > 0",
                            "$t[:response_data].size > 2000"};
    e2e_game g("http-quit");
    std::string base = base_url(server);
    for (int run = 0; run < 20; run++) {
        const char *stage = stages[run % 4];
        bool by_signal = (run / 4) % 2 == 1;
        g.write("game/app/main.rb",
                "def tick args\n"
                "  if args.tick_count == 0\n"
                "    $t = $zoq.http_get '" + base + "/trickle'\n"
                "    $zoq.http_get '" + base + "/slow'\n"
                "    $zoq.http_post '" + base + "/form', { a: 1 }\n"
                "  end\n"
                "  return if $quitting || !(" + stage + ")\n"
                "  $quitting = true\n"
                "  puts \"quitting with #{$t[:response_data].size} bytes\"\n" +
                    (by_signal ? "  $zoq.ffi_file.write 'stage.txt', 'x'\n" : "  $zoq.request_quit\n") +
                "end\n");
        remove((g.root + "/game/stage.txt").c_str());
        e2e_signal sigterm;
        sigterm.when_exists = "game/stage.txt";
        e2e_run r = g.run({"game"}, 60, {}, by_signal ? &sigterm : nullptr);
        EXPECT_EQ(0, r.status) << "run " << run << ": " << r.err;
        EXPECT_NE(std::string::npos, r.out.find("quitting with")) << "run " << run << ": " << r.out;
        EXPECT_EQ(std::string::npos, r.err.find("Sanitizer")) << r.err;
    }
    http_test_server_stop(server);
}
