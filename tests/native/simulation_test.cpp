// The per-frame step against a real interpreter and runtime: loading queued files, the
// frame's passes block, event dispatch to the bridge callbacks, and stopping.
#include "base/ruby.h"
#include "compile/compile.h"
#include "host/game.h"
#include "host/simulation.h"
#include "render/frame_format.h"
#include "render/render.h"
#include "support/host_test.h"

#include <gtest/gtest.h>
#include <mruby/string.h>
#include <set>
#include <stdio.h>

class Simulation : public ::testing::Test {
  protected:
    host_fixture fx;
    thread_channel *rc = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(host_fixture_up(&fx, true));
        // The step needs only the channel to the render thread, not a window.
        rc = host_fixture_queues();
        rc->window_id = 7;
    }

    void TearDown() override
    {
        thread_channel_delete(rc);
        test_game.channel = nullptr;
        host_fixture_down(&fx);
    }

    std::string eval(const std::string &code) { return host_fixture_eval(code); }

    // Runs the frame build alone into a fresh stream and answers it.
    threadstream *build_frame()
    {
        test_game.current_frame_stream = threadstream_allocate();
        simulation_build_frame(&test_game);
        threadstream *s = test_game.current_frame_stream;
        test_game.current_frame_stream = nullptr;
        return s;
    }

    void queue_events(const std::vector<SDL_Event> &events)
    {
        threadstreamqueue_putitem(rc->event_queue, host_fixture_event_stream(events));
    }
};

TEST_F(Simulation, PassesBlockCarriesHeadersWithDefaultsForOddValues)
{
    eval(R"(
      class FakePass
        attr_accessor :target, :width, :height, :transient, :background_color
      end
      a = FakePass.new; a.background_color = [10, 20, 30]; a.width = 100.7; a.height = 50
      b = FakePass.new; b.background_color = "red"; b.target = "minimap"; b.transient = true
      c = FakePass.new; c.background_color = [1, 2, 3, 4]; c.target = :not_a_string
      $test_passes = [a, b, c]
      class ZOQ::Runtime; def passes; $test_passes; end; end
    )");
    threadstream *s = build_frame();
    EXPECT_EQ((uint32_t)DRAW_PASSES, frame_read_u32(s));
    EXPECT_EQ(3u, frame_read_u32(s));
    EXPECT_EQ(0u, frame_read_u32(s)); // no screenshot
    // A three-element colour has alpha 0, a colour that is not an Array is zeros, a target
    // that is not a String is the window.
    const char *expected[] = {"10 20 30 0 (window) 100 50 0", "0 0 0 0 minimap 0 0 1", "1 2 3 4 (window) 0 0 0"};
    for (const char *want : expected) {
        frame_pass_header h;
        frame_read_pass_header(s, &h);
        char got[128];
        snprintf(got, sizeof got, "%d %d %d %d %s %d %d %u", h.r, h.g, h.b, h.a, h.target.text ? h.target.text : "(window)",
                 h.width, h.height, h.render_transient);
        EXPECT_STREQ(want, got);
        if (want != expected[2]) {
            EXPECT_EQ((uint32_t)DRAW_END_PASS, frame_read_u32(s));
        }
    }
    EXPECT_EQ(0u, s->error);
    threadstream_free(s);

    // Passes that are not an Array count zero; a raising screenshot answer counts as nil.
    eval("class ZOQ::Runtime; def passes; :oops; end; def take_screenshot; raise 'no'; end; end");
    s = build_frame();
    EXPECT_EQ((uint32_t)DRAW_PASSES, frame_read_u32(s));
    EXPECT_EQ(0u, frame_read_u32(s));
    EXPECT_EQ(0u, frame_read_u32(s));
    EXPECT_TRUE(threadstream_eos(s));
    EXPECT_EQ(nullptr, test_game.interpreter->exc);
    threadstream_free(s);
}

TEST_F(Simulation, QueuedFilesLoadInOrderPastMissingAndRaisingOnesAndPastAByteOrderMark)
{
    write_file(fx.game_dir + "/app/raises.rb", "$order << :raises\nraise 'broken file'\n");
    write_file(fx.game_dir + "/app/b.rb", "$order << :b\ndef from_b; 7 + 1; end\n");
    write_file(fx.game_dir + "/app/c.rb", "$order << :c\n$zoq.mark_ruby_file_for_reload 'app/d.rb'\n");
    write_file(fx.game_dir + "/app/d.rb", "$order << :d\n");
    write_file(fx.game_dir + "/app/where.rb", "\n\ndef where\n  raise 'here'\nend\n$order << :where\n");
    write_file(fx.game_dir + "/app/bom.rb", "\xEF\xBB\xBF# an editor put a mark first\n$order << :bom\n");
    eval("$order = []; %w[app/missing.rb app/raises.rb app/b.rb app/c.rb app/where.rb app/bom.rb].each { |f| "
         "$zoq.mark_ruby_file_for_reload f }");
    EXPECT_EQ(6, simulation_load_queued_files(&test_game));
    EXPECT_EQ("[:raises, :b, :c, :where, :bom, :d]", eval("$order"));
    // A backtrace names the loaded file.
    EXPECT_NE(std::string::npos, eval("begin; where; rescue => e; e.backtrace[0]; end").find("app/where.rb:4"));
    EXPECT_EQ("8", eval("from_b"));
    EXPECT_EQ(nullptr, test_game.interpreter->exc);
    EXPECT_EQ("[]", eval("$zoq.get_ruby_reload_list"));
}

// A file a single read cannot take whole (2 GiB on Linux) is read whole, and one longer than
// the parser holds fails to load with its size named (sparse on disk; 2 GiB of memory).
TEST_F(Simulation, AQueuedFileLongerThanTheParserHoldsFailsToLoadNamingItsSize)
{
    FILE *f = fopen((fx.game_dir + "/app/big.rb").c_str(), "wb");
    ASSERT_TRUE(f);
    EXPECT_EQ(0, fputc('\'', f) == EOF || fseeko(f, 2147483701, SEEK_SET) || fputc('\'', f) == EOF || fclose(f));
    eval("$zoq.mark_ruby_file_for_reload 'app/big.rb'");
    EXPECT_EQ(1, simulation_load_queued_files(&test_game));
    const char *refusal = "app/big.rb:1: source too long to parse: 2147483702 bytes (at most 2147483647)";
    EXPECT_EQ(std::string("\"") + refusal + "\"", eval("$zoq.instance_variable_get(:@load_failures)['app/big.rb'].message"));
    // Reported as any file whose load failed: an exception report.
    EXPECT_NE(std::string::npos, read_file(fx.base_dir + "/exceptions/current.txt").find(refusal));
    EXPECT_EQ(nullptr, test_game.interpreter->exc);
    remove((fx.game_dir + "/app/big.rb").c_str());
}

TEST_F(Simulation, AReloadListThatCannotBeEmptiedIsLoggedNotLost)
{
    eval("class ZOQ::Runtime; def get_ruby_reload_list; ['app/frozen.rb'].freeze; end; end");
    sdl_log_capture log;
    EXPECT_EQ(1, simulation_load_queued_files(&test_game));
    EXPECT_EQ(1, log.count("frozen"));
    EXPECT_EQ(nullptr, test_game.interpreter->exc);
}

TEST_F(Simulation, AStepRunsTheGameAndQueuesItsFrame)
{
    write_file(fx.game_dir + "/app/main.rb", "def tick args; $ticks = (args.tick_count); end\n");
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(1, simulation_tick(&test_game));
        SDL_Delay(14); // the runtime skips steps less than 13 ms apart
    }
    // The first step queues app/main.rb, the second loads it, the third is the game's tick 0.
    EXPECT_EQ("0", eval("$ticks"));
    EXPECT_EQ(3, threadstreamqueue_getcount(rc->frame_queue));
    EXPECT_EQ(":ready", eval("$zoq.load_status"));
}

TEST_F(Simulation, ASteadyGameReusesTheSameStreams)
{
    write_file(fx.game_dir + "/app/main.rb", "def tick args; end\n");
    std::set<threadstream *> streams;
    std::set<uint8_t *> buffers;
    for (int i = 0; i < 200; i++) {
        ASSERT_EQ(1, simulation_tick(&test_game));
        threadstream *frame;
        while ((frame = threadstreamqueue_getitem(rc->frame_queue))) {
            streams.insert(frame);
            buffers.insert(frame->data);
            threadstream_free(frame);
        }
    }
    EXPECT_EQ(1u, streams.size());
    EXPECT_EQ(1u, buffers.size());
}

TEST_F(Simulation, QuitEventFinishesTheStepThenStopsAndARaisingQuitRequestDoesNot)
{
    eval("class ZOQ::Runtime; def quit_requested?; raise 'oops'; end; end");
    EXPECT_EQ(1, simulation_tick(&test_game));
    EXPECT_EQ(nullptr, test_game.interpreter->exc);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    queue_events({quit});
    EXPECT_EQ(0, simulation_tick(&test_game));
    EXPECT_EQ(2, threadstreamqueue_getcount(rc->frame_queue)); // its frame was still queued
}
