// A game run by the executable: Integers divide into Floats in its own files, through
// string evaluation and in a file given to --eval; a send into method_missing keeps its
// arguments; decimal literals read and print at full precision.
#include "e2e/e2e.h"

#include <gtest/gtest.h>

static const char *dividing_game =
    "class Halver\n"
    "  def /(d) = \"halver/#{d}\"\n"
    "end\n"
    "HALF = 1 / 2\n"
    "def tick args\n"
    "  return unless args.tick_count == 0\n"
    "  x = 9\n"
    "  x /= 2\n"
    "  r = [5 / 2, -7 / 2, 1 / 0, -1 / 0, (0 / 0).nan?, 7.0 / 2, x, 7 / 2, HALF, Halver.new / 3,\n"
    "       eval('7 / 2'), 7.send(:/, 2), [1, 4].inject(:/)]\n"
    "  $stdout.write(\"divisions #{r.inspect}\\n\")\n"
    "  args.state.send(:score=, 6)\n"
    "  $stdout.write(\"values #{[args.state.score, 0.015625 == 0.5 ** 6, format('%.17g', 0.1 + 0.2)].inspect}\\n\")\n"
    "  begin\n"
    "    q = 8 / 2\n"
    "    raise \"after #{q}\"\n"
    "  rescue => e\n"
    "    $stdout.write(\"raised #{e.message} at #{e.backtrace[0]}\\n\")\n"
    "  end\n"
    "  $zoq.request_quit\n"
    "end\n";

TEST(Arithmetic, AGameDividesIntoFloatsAndKeepsFullDoubles)
{
    e2e_game g("arith");
    g.write("game/app/main.rb", dividing_game);
    g.write("game/app/eval.rb", "$stdout.write(\"evaluated #{[5 / 2, 1 / 60 * 60, \"0.015625\".to_f == 0.5 ** 6].inspect}\\n\")\n");
    e2e_run r = g.run({"game", "--eval", "app/eval.rb"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos,
              r.out.find("divisions [2.5, -3.5, Infinity, -Infinity, true, 3.5, 4.5, 3.5, 0.5, \"halver/3\", 3.5, "
                         "3.5, 0.25]\n"))
        << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("raised after 4.0 at app/main.rb:16")) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("values [6, true, \"0.30000000000000004\"]\n")) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("evaluated [2.5, 1.0, true]\n")) << r.out << r.err;
}
