// Keys, text and the mouse from a real X server (Xvfb), typed and clicked by xdotool, as a
// game reads them through args.inputs.
#include "e2e/e2e.h"

#include <gtest/gtest.h>
#include <stdlib.h>

static const char *input_game =
    "def tick args\n"
    "  $keys ||= []\n"
    "  $text ||= ''\n"
    "  $zoq.ffi_file.write 'ready.txt', 'x' if args.tick_count == 1\n"
    "  kb = args.inputs.keyboard\n"
    "  $keys = ($keys + kb.key_down.truthy_keys + kb.key_up.truthy_keys).uniq\n"
    "  $text += args.inputs.text.join\n"
    "  mouse = args.inputs.mouse\n"
    "  $click = mouse.click.point if mouse.click\n"
    "  $up = mouse.up.point if mouse.up\n"
    "  return unless $keys.include?(:enter)\n"
    "  $zoq.ffi_file.write 'seen.txt', \"keys #{$keys.sort}\\ntext #{$text}\\nclick #{$click} up #{$up}\\n\"\n"
    "  $zoq.request_quit\n"
    "end\n";

// Waits for the game to be running, then types and clicks into its window.
static const char *driver =
    "./zintarel game > game.log 2>&1 &\n"
    "pid=$!\n"
    "for i in $(seq 1 400); do [ -f game/ready.txt ] && break; sleep 0.05; done\n"
    "window=$(xdotool search --pid $pid | tail -1)\n"
    "xdotool windowfocus $window\n"
    "xdotool key shift+a\n"
    "xdotool type 'hi!'\n"
    "xdotool mousemove --window $window 100 50 click 3\n"
    "xdotool key Return\n"
    "wait $pid\n";

TEST(Input, KeysTextAndTheMouseFromAnXServerReachTheGame)
{
    e2e_game g("input");
    g.write("game/app/main.rb", input_game);
    g.write("drive.sh", driver);
    std::string command = "cd '" + g.root +
                          "' && env -u SDL_VIDEODRIVER ALSOFT_DRIVERS=null timeout -s KILL 60 xvfb-run -a sh drive.sh "
                          "> drive.log 2>&1";
    int status = system(command.c_str());
    EXPECT_EQ(0, status) << g.read("drive.log") << g.read("game.log");
    // Shift+A and the "!" of "hi!" come with Shift; xdotool lets go of Shift before the 1, so
    // that release is named :one. The window is 720 high and y grows upward.
    EXPECT_EQ("keys [:a, :enter, :exclamation_point, :h, :i, :one, :shift, :shift_left]\n"
              "text Ahi!\n"
              "click [100, 670] up [100, 670]\n",
              g.read("game/seen.txt"))
        << g.read("game.log");
}
