// The clipboard is read on the render thread for the simulation's paste: asked from another
// thread, the answer comes through the channel; with nobody serving, the ask gives up.
#include "base/channel.h"
#include "support/host_test.h"

#include <string>

namespace {

struct asker {
    thread_channel *channel;
    std::string text;
    SDL_atomic_t done;
};

int ask(void *data)
{
    asker *a = (asker *)data;
    char *text = thread_channel_clipboard_text(a->channel);
    a->text = text;
    SDL_free(text);
    SDL_AtomicSet(&a->done, 1);
    return 0;
}

class Clipboard : public HostTest {
  protected:
    thread_channel *channel = nullptr;
    void SetUp() override
    {
        HostTest::SetUp();
        ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_VIDEO)) << SDL_GetError();
        channel = thread_channel_create();
        ASSERT_TRUE(channel);
    }
    void TearDown() override
    {
        thread_channel_delete(channel);
        HostTest::TearDown();
    }
};

} // namespace

TEST_F(Clipboard, TheRenderThreadAnswersAnAskFromAnotherThreadAndReadsDirectlyItself)
{
    ASSERT_EQ(0, SDL_SetClipboardText("p\xc3\xa4ste me"));
    char *own = thread_channel_clipboard_text(channel);
    EXPECT_STREQ("p\xc3\xa4ste me", own);
    SDL_free(own);

    asker a = {channel, "", {0}};
    SDL_Thread *thread = SDL_CreateThread(ask, "asker", &a);
    ASSERT_TRUE(thread);
    while (SDL_AtomicGet(&a.done) == 0) thread_channel_serve_clipboard(channel);
    SDL_WaitThread(thread, nullptr);
    EXPECT_EQ("p\xc3\xa4ste me", a.text);
    EXPECT_EQ(0, SDL_AtomicGet(&channel->clipboard_wanted));
}

TEST_F(Clipboard, AnAskGivesUpWithNoTextOnceTheRunEnds)
{
    ASSERT_EQ(0, SDL_SetClipboardText("never served"));
    SDL_AtomicSet(&channel->quit, 1);
    asker a = {channel, "unset", {0}};
    SDL_Thread *thread = SDL_CreateThread(ask, "asker", &a);
    ASSERT_TRUE(thread);
    SDL_WaitThread(thread, nullptr);
    EXPECT_EQ("", a.text);
    // A late serve finds no ask and leaves nothing behind.
    thread_channel_serve_clipboard(channel);
    EXPECT_EQ(nullptr, channel->clipboard_text);
}
