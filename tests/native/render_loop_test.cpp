// The render context and the render loop step over a real SDL window and software renderer
// (the dummy video driver, whose display is 1024 x 768): window geometry, the fallback
// texture, the caches, event hand-over, and which queued frame is shown.
#include "support/render_fixture.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>

TEST_F(RenderLoop, TheWindowFitsTheDisplayKeepsItsFirstSizeAndThenTakesTheAskedOne)
{
    write_file(fx.game_dir + "/metadata/game_metadata.txt",
               "devid=d\ndevtitle=D\ngameid=g\ngametitle=Quest\nversion=1\n");
    ASSERT_TRUE(open(0, 1280, 720, 1280, 720)) << SDL_GetError();
    // The recorded size, the window's, its logical size and its flags (resizable, hidden, fullscreen).
    auto geometry = [&] {
        int w = 0, h = 0, lw = 0, lh = 0;
        SDL_GetWindowSize(ctx->window, &w, &h);
        SDL_RenderGetLogicalSize(ctx->renderer, &lw, &lh);
        Uint32 flags = SDL_GetWindowFlags(ctx->window);
        char b[96];
        snprintf(b, sizeof b, "%dx%d %dx%d %dx%d %d%d%d", ctx->window_width, ctx->window_height, w, h, lw, lh,
                 !!(flags & SDL_WINDOW_RESIZABLE), !!(flags & SDL_WINDOW_HIDDEN),
                 (flags & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP);
        return std::string(b);
    };
    // 1280 x 720 on a display 1024 wide: 1024 x 576, recorded before the asked size is applied.
    EXPECT_EQ("1024x576 1280x720 1280x720 110", geometry());
    EXPECT_STREQ("Quest", SDL_GetWindowTitle(ctx->window));
    EXPECT_EQ(SDL_GetWindowID(ctx->window), ctx->channel->window_id);
    EXPECT_EQ(1, SDL_AtomicGet(&ctx->channel->keyboard_focus));
    EXPECT_EQ(1, SDL_AtomicGet(&ctx->channel->mouse_focus));
    EXPECT_GT(ctx->output_width, 0);
    EXPECT_TRUE(ctx->default_font);
    render_context_delete(ctx);
    // A size that fits the display is taken as it is; no asked size leaves it there.
    ASSERT_TRUE(open(0, 800, 600));
    EXPECT_EQ("800x600 800x600 800x600 110", geometry());
    render_context_delete(ctx);
    ASSERT_TRUE(open(1));
    EXPECT_EQ("011", geometry().substr(geometry().size() - 3));
}

TEST_F(RenderLoop, AMissingDefaultFontFailsCreationWithTheReason)
{
    ASSERT_EQ(0, remove((fx.game_dir + "/font.ttf").c_str()));
    EXPECT_EQ(nullptr, open());
    EXPECT_NE(nullptr, strstr(SDL_GetError(), "font.ttf")) << SDL_GetError();
}

TEST_F(RenderLoop, TheMissingTextureIsACheckerboardInARedFrame)
{
    ASSERT_TRUE(open());
    SDL_Texture *target = SDL_CreateTexture(ctx->renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET, 256, 256);
    ASSERT_TRUE(target);
    SDL_SetRenderTarget(ctx->renderer, target);
    SDL_SetRenderDrawColor(ctx->renderer, 0, 0, 0, 0);
    SDL_RenderClear(ctx->renderer);
    SDL_SetTextureBlendMode(ctx->missing_texture, SDL_BLENDMODE_NONE);
    SDL_RenderCopy(ctx->renderer, ctx->missing_texture, nullptr, nullptr);
    static uint32_t px[256 * 256];
    ASSERT_EQ(0, SDL_RenderReadPixels(ctx->renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, px, 1024));
    SDL_SetRenderTarget(ctx->renderer, nullptr);
    SDL_DestroyTexture(target);
    const uint32_t black = 0xFF000000u, white = 0xFFFFFFFFu, red = 0xFF0000FFu;
    auto at = [&](int x, int y) { return px[y * 256 + x]; };
    for (int i = 0; i < 256; i++) ASSERT_TRUE(at(i, 0) == red && at(i, 255) == red && at(0, i) == red && at(255, i) == red) << i;
    // Rows with bit 4 clear start black; the colour flips after column 0 and after every
    // sixteenth column.
    struct { int x, y; uint32_t colour; } probes[] = {{1, 1, white}, {16, 1, white}, {17, 1, black}, {32, 15, black},
                                                      {33, 15, white}, {1, 16, black}, {17, 16, white}, {1, 32, white}};
    for (const auto &p : probes) EXPECT_EQ(p.colour, at(p.x, p.y)) << p.x << ", " << p.y;
}

TEST_F(RenderLoop, CachesFindTheSameEntriesAndNeverRetryABrokenFont)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(nullptr, texture_cache_lookup(ctx, nullptr));
    texture_cache_entry *a = texture_cache_lookup(ctx, "sprites/a.png");
    ASSERT_TRUE(a);
    EXPECT_EQ(nullptr, a->texture);
    EXPECT_EQ(a, texture_cache_lookup(ctx, "sprites/a.png"));
    // Two names in one bucket both stay reachable.
    std::string other;
    for (int i = 0; other.empty(); i++) {
        std::string name = "n" + std::to_string(i);
        if (render_cache_hash(name.c_str()) == render_cache_hash("sprites/a.png")) other = name;
    }
    texture_cache_entry *b = texture_cache_lookup(ctx, other.c_str());
    ASSERT_TRUE(b);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, texture_cache_lookup(ctx, "sprites/a.png"));
    EXPECT_EQ(b, texture_cache_lookup(ctx, other.c_str()));

    EXPECT_EQ(ctx->default_font, lookup_font(ctx, nullptr));
    EXPECT_EQ(ctx->default_font, lookup_font(ctx, "fonts/late.ttf"));
    // The file appearing later does not make the path load: it failed once.
    write_file(fx.game_dir + "/fonts/late.ttf", read_file(default_font_file));
    EXPECT_EQ(ctx->default_font, lookup_font(ctx, "fonts/late.ttf"));
    fontatlas *loaded = lookup_font(ctx, "font.ttf");
    EXPECT_NE(ctx->default_font, loaded);
    EXPECT_EQ(loaded, lookup_font(ctx, "font.ttf"));
}

TEST_F(RenderLoop, BeforeAnyFrameEachStepClearsTheWindowBlackAndQuietStepsQueueNoEvents)
{
    ASSERT_TRUE(open());
    drain_sdl_events();
    SDL_SetRenderDrawColor(ctx->renderer, 200, 0, 0, 255);
    SDL_RenderClear(ctx->renderer);
    int pooled = threadstream_pool_size();
    draw_iteration(ctx);
    EXPECT_EQ(0xFF000000u, pixel());
    EXPECT_EQ(nullptr, ctx->last_frame);
    EXPECT_EQ(0, threadstreamqueue_getcount(ctx->channel->event_queue));
    EXPECT_EQ(pooled > 0 ? pooled : 1, threadstream_pool_size()); // the unused event stream went back
    draw_iteration(nullptr);
}

TEST_F(RenderLoop, PolledEventsTravelRawAndOurSizeChangesReadTheOutputSizeAgain)
{
    ASSERT_TRUE(open());
    drain_sdl_events();
    ctx->output_width = ctx->output_height = 0;
    SDL_Event resized = {}, user = {};
    resized.type = SDL_WINDOWEVENT;
    resized.window.windowID = ctx->channel->window_id + 1;
    resized.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    SDL_PushEvent(&resized);
    draw_iteration(ctx);
    EXPECT_EQ(0, ctx->output_width); // another window's size change is not ours
    resized.window.windowID = ctx->channel->window_id;
    SDL_PushEvent(&resized);
    user.type = SDL_USEREVENT;
    user.user.code = 77;
    const int many = 100; // more than one 1,024-byte buffer holds
    for (int i = 0; i < many; i++) SDL_PushEvent(&user);
    draw_iteration(ctx);
    EXPECT_TRUE(ctx->output_width > 0 && ctx->output_height > 0);
    ASSERT_EQ(2, threadstreamqueue_getcount(ctx->channel->event_queue));
    threadstream *first = threadstreamqueue_getitem(ctx->channel->event_queue);
    EXPECT_EQ(1u, threadstream_unpack_size_t(first));
    EXPECT_EQ(8u + sizeof(SDL_Event), first->length);
    threadstream_free(first);
    threadstream *second = threadstreamqueue_getitem(ctx->channel->event_queue);
    ASSERT_EQ(56u, sizeof(SDL_Event));
    EXPECT_EQ((uint64_t)many + 1, threadstream_unpack_size_t(second));
    EXPECT_EQ(8u + (many + 1) * 56u, second->length);
    SDL_Event first_event, last_event;
    memcpy(&first_event, second->data + 8, sizeof first_event);
    memcpy(&last_event, second->data + 8 + many * 56, sizeof last_event);
    EXPECT_EQ((Uint32)SDL_WINDOWEVENT, first_event.type);
    EXPECT_TRUE(last_event.type == SDL_USEREVENT && last_event.user.code == 77);
    threadstream_free(second);
}

TEST_F(RenderLoop, TheRenderThreadKeepsTheFocusOfItsOwnWindowAsItPolls)
{
    ASSERT_TRUE(open());
    drain_sdl_events();
    auto window_event = [&](uint32_t id, uint8_t what) {
        SDL_Event e = {};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = id;
        e.window.event = what;
        SDL_PushEvent(&e);
    };
    const uint32_t ours = ctx->channel->window_id;
    struct { uint8_t event; uint32_t window; int keyboard, mouse; } steps[] = {
        {SDL_WINDOWEVENT_FOCUS_LOST, ours + 1, 1, 1}, // another window's focus is not ours
        {SDL_WINDOWEVENT_FOCUS_LOST, ours, 0, 1},
        {SDL_WINDOWEVENT_LEAVE, ours, 0, 0},
        {SDL_WINDOWEVENT_FOCUS_GAINED, ours, 1, 0},
        {SDL_WINDOWEVENT_ENTER, ours, 1, 1},
    };
    for (const auto &step : steps) {
        window_event(step.window, step.event);
        draw_iteration(ctx);
        EXPECT_EQ(step.keyboard, SDL_AtomicGet(&channel->keyboard_focus)) << (int)step.event;
        EXPECT_EQ(step.mouse, SDL_AtomicGet(&channel->mouse_focus)) << (int)step.event;
    }
}

TEST_F(RenderLoop, OnlyTheNewestQueuedFrameIsShownAndWithoutANewOneItIsRerun)
{
    ASSERT_TRUE(open());
    drain_sdl_events();
    threadstream *frames[3] = {frame(1), frame(2), frame(3)};
    for (threadstream *f : frames) threadstreamqueue_putitem(ctx->channel->frame_queue, f);
    int pooled = threadstream_pool_size();
    draw_iteration(ctx);
    EXPECT_EQ(0, threadstreamqueue_getcount(ctx->channel->frame_queue));
    EXPECT_EQ(frames[2], ctx->last_frame);
    EXPECT_EQ(0u, ctx->last_frame->read_position); // ready to be drawn again
    EXPECT_EQ(3, ctx->grid_x);                     // catch-up frames and the shown one all ran
    // The two catch-up frames went back to the pool, beside the step's unused event stream
    // (new when the pool was empty).
    EXPECT_EQ(pooled + 2 + (pooled == 0 ? 1 : 0), threadstream_pool_size());

    // No new frame: the last one is drawn again as a rerun, so its grid command is not applied.
    ctx->grid_x = 99;
    draw_iteration(ctx);
    EXPECT_EQ(frames[2], ctx->last_frame);
    EXPECT_EQ(99, ctx->grid_x);

    // A newer frame replaces it and the old last frame goes back to the pool.
    threadstream *next = frame(4);
    threadstreamqueue_putitem(ctx->channel->frame_queue, next);
    draw_iteration(ctx);
    EXPECT_EQ(next, ctx->last_frame);
    EXPECT_EQ(4, ctx->grid_x);
    threadstream *reused = threadstream_allocate();
    EXPECT_EQ(frames[2], reused);
    threadstream_free(reused);
}

TEST_F(RenderLoop, AFrameThatClearsNoWindowIsClearedToTheLastBackground)
{
    ASSERT_TRUE(open());
    drain_sdl_events();
    threadstreamqueue_putitem(ctx->channel->frame_queue, frame(0, 1, 10, 20, 30));
    draw_iteration(ctx);
    EXPECT_EQ(0xFF1E140Au, pixel());
    EXPECT_EQ(10, ctx->background_r);

    SDL_SetRenderDrawColor(ctx->renderer, 200, 0, 0, 255);
    SDL_RenderClear(ctx->renderer);
    threadstreamqueue_putitem(ctx->channel->frame_queue, frame(0, 0));
    draw_iteration(ctx);
    EXPECT_EQ(0xFF1E140Au, pixel());
}
