// Both threads at once, as the executable runs them: the simulation thread steps a real game
// at 60 Hz while this thread runs the render loop against a dummy-driver window, the two
// meeting only through their channel. Run under ThreadSanitizer this is the race check.
#include "base/channel.h"
#include "base/metadata.h"
#include "host/game.h"
#include "host/simulation.h"
#include "render/render.h"
#include "support/host_fixture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

TEST(Threads, TheSimulationAndTheRenderLoopRunAGameTogetherUntilItQuits)
{
    host_fixture fx;
    ASSERT_TRUE(host_fixture_up(&fx, true));
    ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_VIDEO)) << SDL_GetError();
    write_file(fx.game_dir + "/font.ttf", read_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    write_file(fx.game_dir + "/app/main.rb",
               "def tick args\n"
               "  args.outputs.solids << [10, 10, 20, 20, 255, 0, 0]\n"
               "  $rates << $zoq.current_framerate_render\n"
               "  $zoq.request_quit if args.tick_count == 30\n"
               "end\n");
    host_fixture_eval("$rates = []; $focus = []; class ZOQ::Runtime; alias focus_before window_keyboard_focus_changed; "
                      "def window_keyboard_focus_changed(gained); $focus << gained; focus_before(gained); end; end");
    game_metadata_forget();
    thread_channel *channel = thread_channel_create();
    ASSERT_TRUE(channel);
    test_game.channel = channel;
    render_context *ctx = render_context_new(channel, 0, 1, 1280, 720, -1, -1, -1, -1);
    ASSERT_TRUE(ctx) << SDL_GetError();

    SDL_Event lost = {};
    lost.type = SDL_WINDOWEVENT;
    lost.window.windowID = channel->window_id;
    lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&lost);
    SDL_Thread *simulation = SDL_CreateThreadWithStackSize(simulation_thread_main, "simulation", 0x800000, &test_game);
    ASSERT_TRUE(simulation);
    while (SDL_AtomicGet(&channel->quit) == 0) draw_iteration(ctx);
    SDL_WaitThread(simulation, nullptr);
    draw_iteration(ctx);

    EXPECT_EQ(0, SDL_AtomicGet(&channel->keyboard_focus)); // the render thread saw it go
    EXPECT_EQ("[false]", host_fixture_eval("$focus"));    // and the game heard of it
    EXPECT_EQ("30", host_fixture_eval("Kernel.tick_count"));
    EXPECT_EQ("true", host_fixture_eval("$rates.last > 0"));
    EXPECT_EQ(0, threadstreamqueue_getcount(channel->frame_queue));
    EXPECT_TRUE(ctx->last_frame);
    render_context_delete(ctx);
    test_game.channel = nullptr;
    thread_channel_delete(channel);
    game_metadata_forget();
    host_fixture_down(&fx);
}
