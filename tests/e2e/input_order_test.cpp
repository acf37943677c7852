// The order of input within a step, on both renderers (the dummy driver, and a real window
// under Xvfb whose render thread waits on X's events): a virtual pad's button is held while
// a key goes down and up, and every step hands the runtime the controller reports first,
// then the queued events, then the analog values, and only then ticks.
#include "e2e/e2e.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

// Each step's calls are written down by kind (c: controller report, e: key event, a: analog
// value, then t for the tick) as one word; the game quits once it has seen the pad's button
// go down and the key go down, then each let go. The driver waits for each sign.
const char *game =
    "class ZOQ::Runtime\n"
    "  ORDER_KIND = { controller_key_down: 'c', controller_key_held: 'c', controller_key_up: 'c',\n"
    "                 key_down_raw: 'e', key_up_raw: 'e', left_analog_x_player_1: 'a' }\n"
    "  ORDER_KIND.each_key do |name|\n"
    "    alias_method \"ordered_#{name}\", name\n"
    "    define_method(name) { |*a| $calls << ORDER_KIND[name]; __send__(\"ordered_#{name}\", *a) }\n"
    "  end\n"
    "  alias_method :ordered_tick, :tick\n"
    "  def tick *a\n"
    "    $steps << $calls + 't'\n"
    "    $calls = ''\n"
    "    ordered_tick(*a)\n"
    "  end\n"
    "end\n"
    "$calls = ''\n"
    "$steps = []\n"
    "def sign name\n"
    "  $zoq.ffi_file.write \"#{name}.txt\", 'x' unless $signed[name]\n"
    "  $signed[name] = true\n"
    "end\n"
    "def tick args\n"
    "  $signed ||= {}\n"
    "  sign 'ready' if args.tick_count == 1\n"
    "  pad, kb = args.inputs.controller_one, args.inputs.keyboard\n"
    "  pad_down, key_down = pad.key_down.a || pad.key_held.a, kb.key_down.a || kb.key_held.a\n"
    "  sign 'pad-down' if pad_down\n"
    "  sign 'key-down' if key_down\n"
    "  sign 'key-up' if $signed['key-down'] && !key_down\n"
    "  return unless $signed['key-up'] && !pad_down\n"
    "  $zoq.ffi_file.write 'steps.txt', $steps.join(\"\\n\")\n"
    "  $zoq.request_quit\n"
    "end\n";

const char *driver =
    "wait_for() { for i in $(seq 1 600); do [ -f \"game/$1.txt\" ] && return 0; sleep 0.05; done; echo \"no $1\"; "
    "return 1; }\n"
    "rm -f pad.fifo game/*.txt\n"
    "mkfifo pad.fifo\n"
    "ZINTAREL_PAD_FIFO=\"$PWD/pad.fifo\" LD_PRELOAD=\"$PAD_LIBRARY\" ./zintarel game > game.log 2>&1 &\n"
    "pid=$!\n"
    "exec 3> pad.fifo\n"
    "wait_for ready && echo 'button 0 1' >&3\n"
    "wait_for pad-down && echo 'key 97 1' >&3\n"
    "wait_for key-down && echo 'key 97 0' >&3\n"
    "wait_for key-up && echo 'button 0 0' >&3\n"
    "wait $pid\n";

} // namespace

TEST(InputOrder, ControllerReportsThenEventsThenAnalogValuesThenTheTickInEveryStepOnBothRenderers)
{
    for (bool window : {false, true}) {
        e2e_game g(window ? "input_order_window" : "input_order_dummy");
        g.write("game/app/main.rb", game);
        g.write("drive.sh", driver);
        // The dummy driver's window never has the focus, and SDL drops a controller's input
        // while no window of the process has it, unless told otherwise.
        std::string command = "cd '" + g.root + "' && " +
                              (window ? "env -u SDL_VIDEODRIVER ALSOFT_DRIVERS=null"
                                      : "SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS=1") +
                              " PAD_LIBRARY='" ZINTAREL_PAD_LIBRARY "' timeout -s KILL 90 " +
                              (window ? "xvfb-run -a sh drive.sh" : "sh drive.sh") + " > drive.log 2>&1";
        ASSERT_EQ(0, system(command.c_str())) << window << g.read("drive.log") << g.read("game.log");
        std::string steps = g.read("game/steps.txt");
        int held_with_key = 0;
        size_t at = 0;
        while (at < steps.size()) {
            size_t end = steps.find('\n', at);
            if (end == std::string::npos) end = steps.size();
            std::string step = steps.substr(at, end - at);
            at = end + 1;
            // Each kind at most once in a run, in the order c, e, a, t; the tick last.
            std::string kinds;
            for (char c : step)
                if (kinds.empty() || kinds.back() != c) kinds += c;
            EXPECT_TRUE(kinds == "at" || kinds == "cat" || kinds == "eat" || kinds == "ceat" || kinds == "t")
                << (window ? "window: " : "dummy: ") << step;
            held_with_key += kinds == "ceat";
        }
        // The key went down and up while the button was held: those steps had both.
        EXPECT_GE(held_with_key, 2) << (window ? "window" : "dummy") << "\n" << steps;
    }
}
