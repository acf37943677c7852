// Recording and replay as a developer uses them: a game in a real X server (Xvfb) gets keys,
// text and the mouse from xdotool and a controller from a virtual pad, writes down what it
// sees every tick while recording, and must see exactly the same again when replayed, with
// other live input arriving meanwhile.
#include "e2e/e2e.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

// mode.txt says: the run's name, how its session starts (by the command line, or from the
// game's own tick at tick 30) and the file a recording is saved to or a replay reads.
const char *game =
    "def tick args\n"
    "  unless $mode\n"
    "    $mode = ($zoq.read_file('mode.txt') || 'X none -').split(' ')\n"
    "    $zoq.ffi_file.write 'ready.txt', 'x'\n"
    "  end\n"
    "  name, action, file = $mode\n"
    "  r = args.recording\n"
    "  if !$started && args.tick_count >= 30 && (action == 'record-at' || action == 'replay-at')\n"
    "    $started = true\n"
    "    action == 'record-at' ? r.start(7) : $replay.start(file)\n"
    "    return\n"
    "  end\n"
    "  unless r.is_recording? || r.is_replaying?\n"
    "    finish name if $log\n"
    "    return\n"
    "  end\n"
    "  unless $log\n"
    "    $log = []\n"
    "    $zoq.ffi_file.write 'session.txt', 'x'\n"
    "  end\n"
    "  kb = args.inputs.keyboard\n"
    "  m = args.inputs.mouse\n"
    "  c = args.inputs.controller_one\n"
    "  $log << \"#{args.tick_count} down=#{kb.key_down.truthy_keys.sort} held=#{kb.key_held.truthy_keys.sort} \" \\\n"
    "          \"up=#{kb.key_up.truthy_keys.sort} text=#{args.inputs.text.join.inspect} mouse=#{m.point} \" \\\n"
    "          \"click=#{m.click && m.click.point} up=#{m.up && m.up.point} wheel=#{m.wheel && [m.wheel.x, m.wheel.y]} \" \\\n"
    "          \"pad=#{c.key_down.truthy_keys}/#{c.key_held.truthy_keys}/#{c.key_up.truthy_keys} \" \\\n"
    "          \"stick=#{c.left_analog_x_raw},#{c.left_analog_x_perc} rand=#{rand(1_000_000)}\\n\"\n"
    "  if !$pad_a && (c.key_down.a || c.key_held.a)\n"
    "    $pad_a = true\n"
    "    $zoq.ffi_file.write 'pad-a.txt', 'x'\n"
    "  end\n"
    "  if !$pad_stick && c.left_analog_x_raw != 0\n"
    "    $pad_stick = true\n"
    "    $zoq.ffi_file.write 'pad-stick.txt', 'x'\n"
    "  end\n"
    "  $ended ||= kb.key_down.enter || kb.key_up.enter\n"
    "  if r.is_recording? && args.tick_count >= 119 && $ended\n"
    "    r.stop file\n"
    "    finish name\n"
    "  end\n"
    "end\n"
    "\n"
    "def finish name\n"
    "  $zoq.ffi_file.write \"seen-#{name}.txt\", $log.join\n"
    "  $zoq.request_quit\n"
    "end\n";

// Starts the game with the virtual pad, then plays. "$@" is the game's own arguments.
const char *driver_head =
    "wait_for() { for i in $(seq 1 600); do [ -f \"$1\" ] && return 0; sleep 0.05; done; echo \"no $1\"; return 1; }\n"
    "rm -f pad.fifo game/ready.txt game/session.txt game/pad-a.txt game/pad-stick.txt\n"
    "mkfifo pad.fifo\n"
    "ZINTAREL_PAD_FIFO=\"$PWD/pad.fifo\" LD_PRELOAD=\"$PAD_LIBRARY\" ./zintarel game \"$@\" >> game.log 2>&1 &\n"
    "pid=$!\n"
    "exec 3> pad.fifo\n"
    "wait_for game/ready.txt\n"
    "window=$(xdotool search --pid $pid | tail -1)\n"
    "xdotool windowfocus $window\n";

// What is recorded: some input before the session starts (in a session that starts at
// start-up it lands inside), then keys, text, a click, the wheel, a pad button and stick,
// each pad change held until the game has seen it, and Return to end.
const char *driver_record =
    "xdotool mousemove --window $window 600 400 key z\n"
    "wait_for game/session.txt\n"
    "xdotool key shift+a\n"
    "xdotool type 'hi!'\n"
    "xdotool mousemove --window $window 100 50 click 3\n"
    "xdotool click 4\n"
    "echo 'button 0 1' >&3\n"
    "wait_for game/pad-a.txt\n"
    "echo 'button 0 0' >&3\n"
    "echo 'axis 0 20000' >&3\n"
    "wait_for game/pad-stick.txt\n"
    "echo 'axis 0 0' >&3\n"
    "xdotool key Return\n"
    "wait $pid\n";

// Live input while a replay runs (and before it, when it starts later): all of it dropped.
const char *driver_other =
    "xdotool key q\n"
    "wait_for game/session.txt\n"
    "xdotool key b\n"
    "xdotool type 'zz'\n"
    "xdotool mousemove --window $window 300 300 click 1\n"
    "xdotool click 5\n"
    "echo 'button 1 1' >&3\n"
    "sleep 0.1\n"
    "echo 'button 1 0' >&3\n"
    "echo 'axis 0 -20000' >&3\n"
    "sleep 0.1\n"
    "echo 'axis 0 0' >&3\n"
    "xdotool key Return\n"
    "wait $pid\n";

struct replay_game {
    e2e_game g{"replay"};
    replay_game()
    {
        g.write("game/app/main.rb", game);
        g.write("record.sh", std::string(driver_head) + driver_record);
        g.write("other.sh", std::string(driver_head) + driver_other);
    }

    // Runs one driver with the game's arguments in a real X server; answers what the game
    // wrote down, and the run's output in `log`.
    std::string run(const std::string &mode, const std::string &driver, const std::string &args, std::string &log)
    {
        g.write("game/mode.txt", mode);
        g.write("game.log", "");
        std::string name = mode.substr(0, mode.find(' '));
        std::string command = "cd '" + g.root + "' && env -u SDL_VIDEODRIVER ALSOFT_DRIVERS=null PAD_LIBRARY='" +
                              ZINTAREL_PAD_LIBRARY + "' timeout -s KILL 90 xvfb-run -a sh " + driver + " " + args +
                              " > drive.log 2>&1";
        int status = system(command.c_str());
        log = g.read("game.log");
        EXPECT_EQ(0, status) << g.read("drive.log") << log;
        return g.read("game/seen-" + name + ".txt");
    }
};

// Everything typed, as the game saw it tick by tick (the text="..." fields joined).
std::string typed(const std::string &log)
{
    std::string out;
    for (size_t at = log.find("text=\""); at != std::string::npos; at = log.find("text=\"", at + 1)) {
        size_t start = at + 6, end = log.find("\" mouse=", start);
        if (end != std::string::npos) out += log.substr(start, end - start);
    }
    return out;
}

size_t lines(const std::string &text)
{
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

} // namespace

TEST(Replay, ARecordingAtStartUpReplaysIdenticallyByCommandLineAndFromRuby)
{
    replay_game r;
    std::string log;
    std::string recorded = r.run("A record rec.txt", "record.sh", "--record --seed 7", log);
    ASSERT_GE(lines(recorded), 120u) << log;
    // Every kind of input was recorded (a key pressed and let go within one step is seen
    // only as let go).
    EXPECT_EQ("zAhi!", typed(recorded));
    for (const char *seen : {"click=[100, 670]", "wheel=[0, 1]", "pad=[:a]", "stick=20000,0.5", "up=[:enter]"})
        EXPECT_NE(std::string::npos, recorded.find(seen)) << seen << "\n" << recorded;
    EXPECT_TRUE(recorded.find("down=[:a") != std::string::npos || recorded.find("up=[:a") != std::string::npos)
        << recorded;
    EXPECT_NE(std::string::npos, r.g.read("game/rec.txt").find("[:textinput, \"h\", 0, 1, ")) << r.g.read("game/rec.txt");

    std::string replayed = r.run("B replay -", "other.sh", "--replay rec.txt", log);
    EXPECT_EQ(recorded, replayed);
    EXPECT_NE(std::string::npos, log.find("Replay completed [rec.txt]")) << log;

    std::string from_ruby = r.run("C replay-at rec.txt", "other.sh", "", log);
    EXPECT_EQ(recorded, from_ruby);
    EXPECT_NE(std::string::npos, log.find("Replay completed [rec.txt]")) << log;
}

TEST(Replay, ARecordingStartedMidGameReplaysIdenticallyByCommandLine)
{
    replay_game r;
    std::string log;
    std::string recorded = r.run("D record-at mid.txt", "record.sh", "", log);
    ASSERT_GE(lines(recorded), 120u) << log;
    EXPECT_EQ(0u, recorded.find("0 down=[] held=[] up=[] text=\"\" mouse=[0, 0]")) << recorded;
    EXPECT_NE(std::string::npos, recorded.find("pad=[:a]")) << recorded;
    std::string replayed = r.run("E replay -", "other.sh", "--replay mid.txt", log);
    EXPECT_EQ(recorded, replayed);
    EXPECT_NE(std::string::npos, log.find("Replay completed [mid.txt]")) << log;
}

TEST(Replay, CorruptReplayFilesAreRefusedWithTheirMessage)
{
    e2e_game g("replay_corrupt");
    g.write("game/app/main.rb", "def tick args\n  $zoq.ffi_file.write 'ticked.txt', args.tick_count.to_s\nend\n");
    const char *head = "replay_version 2.0\nstopped_at 10\nseed 3\n";
    struct {
        std::string text, message;
    } files[] = {
        {"replay_version 2.0\nstopped_at 10\n[:key_down_raw, 97, 0, 2, 1, 2]\n",
         "Replay data seems corrupt. bad.txt has no seed line."},
        {std::string(head) + "[:instance_eval, \"exit\", 0, 1, 1, 2]\n",
         "Replay data seems corrupt. I don't know how to parse [:instance_eval, \"exit\", 0, 1, 1, 2]."},
        {std::string(head) + "[:key_down_raw, 97, 0, 2, 1]\n",
         "Replay data seems corrupt. I don't know how to parse [:key_down_raw, 97, 0, 2, 1]."},
        {"replay_version 1.0\n", "The replay file bad.txt is not compatible with this version"},
    };
    for (const auto &f : files) {
        g.write("game/bad.txt", f.text);
        remove((g.root + "/exceptions/current.txt").c_str());
        e2e_signal stop;
        stop.when_exists = "exceptions/current.txt";
        e2e_run run = g.run({"game", "--replay", "bad.txt"}, 30, {}, &stop);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_NE(std::string::npos, run.out.find(f.message)) << run.out;
        EXPECT_EQ(std::string::npos, run.out.find("Replay has been started.")) << run.out;
    }
}
