// The PhysicsFS stream adapter that hands game files to SDL.
#include "base/physfsrwops.h"
#include "support/host_test.h"
#include "support/test_files.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

class PhysfsRwops : public HostTest {};

TEST_F(PhysfsRwops, SeeksReadsAndReportsErrors)
{
    write_file(fx.game_dir + "/r.txt", "0123456789");
    SDL_RWops *rw = PHYSFSRWOPS_openRead("r.txt");
    ASSERT_TRUE(rw);
    EXPECT_EQ(10, SDL_RWsize(rw));
    EXPECT_EQ(4, SDL_RWseek(rw, 4, RW_SEEK_SET));
    EXPECT_EQ(4, SDL_RWseek(rw, 0, RW_SEEK_CUR));
    char buf[8] = {};
    EXPECT_EQ(1u, SDL_RWread(rw, buf, 3, 1));
    EXPECT_STREQ("456", buf);
    EXPECT_EQ(3u, SDL_RWread(rw, buf, 1, 8)); // hits the end: what was read counts
    EXPECT_EQ(8, SDL_RWseek(rw, -2, RW_SEEK_END));
    EXPECT_EQ(-1, SDL_RWseek(rw, -1, RW_SEEK_SET));
    EXPECT_STREQ("Attempt to seek past start of file.", SDL_GetError());
    EXPECT_EQ(-1, SDL_RWseek(rw, 0, 42));
    EXPECT_STREQ("Invalid 'whence' parameter.", SDL_GetError());
    EXPECT_EQ(0u, SDL_RWwrite(rw, "x", 1, 1));
    EXPECT_EQ(0u, SDL_RWread(rw, buf, SIZE_MAX, 2)); // a byte count that would wrap
    EXPECT_EQ(0, SDL_RWclose(rw));

    EXPECT_EQ(nullptr, PHYSFSRWOPS_openRead("nothing.txt"));
    EXPECT_EQ(0, strncmp(SDL_GetError(), "PhysicsFS error: ", 17));
}
