// A game mixing sprite forms in one collection, run headless: the batch sprite writer once
// died on a Hash followed by a marked Array (the Array first did not).
#include "e2e/e2e.h"

#include <gtest/gtest.h>

TEST(MixedSprites, AHashThenAnArrayInOneCollectionDrawsAndTheGameRunsOn)
{
    e2e_game g("mixed_sprites");
    g.write("game/app/main.rb",
            "def tick args\n"
            "  args.outputs.sprites << { x: 100, y: 100, w: 32, h: 32, path: 's.png' }\n"
            "  args.outputs.sprites << [300, 100, 64, 64, 's.png']\n"
            "  args.outputs.sprites << Ship.new if args.tick_count.odd?\n"
            "  args.outputs.sprites << { x: 10, y: 10, w: 8, h: 8, path: 's.png' }\n"
            "  args.outputs.sprites << [[400, 100], [16, 16], 's.png']\n"
            "  if args.tick_count == 0\n"
            "    args.outputs.static_sprites << [500, 100, 64, 64, 's.png']\n"
            "    args.outputs.static_sprites << { x: 600, y: 100, w: 32, h: 32, path: 's.png' }\n"
            "    args.outputs.static_sprites << [700, 100, 64, 64, 's.png']\n"
            "  end\n"
            "  puts \"tick #{args.tick_count}\"\n"
            "  $zoq.request_quit if args.tick_count == 5\n"
            "end\n"
            "class Ship\n  attr_sprite\n  def initialize\n    @x, @y, @w, @h, @path = 1, 2, 3, 4, 's.png'\n  end\nend\n");
    e2e_run r = g.run({"game"}, 30, {"SDL_VIDEODRIVER=dummy", "ALSOFT_DRIVERS=null"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("tick 5\n")) << r.out;
    EXPECT_EQ(std::string::npos, r.err.find("Error: signal")) << r.err;
}
