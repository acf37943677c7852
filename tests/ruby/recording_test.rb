# Recording and replay the way the host drives them: input events between steps, then the
# step. However a recording or a replay is started, the game must see the same ticks.

RECORD_GAME = <<GAME
def tick args
  if $game_action
    action = $game_action
    $game_action = nil
    action.call
    return
  end
  r = args.recording
  return unless r.is_recording? || r.is_replaying?
  inputs = args.inputs
  kb = inputs.keyboard
  m = inputs.mouse
  pad = inputs.controller_one
  $seen << [args.tick_count, kb.key_down.truthy_keys, kb.key_held.truthy_keys, inputs.text.dup, m.point,
            m.click && m.click.point, m.wheel && [m.wheel.x, m.wheel.y], pad.key_down.truthy_keys,
            pad.key_held.truthy_keys, pad.left_analog_x_raw, pad.left_analog_y_perc, inputs.finger_one && [inputs.finger_one.x, inputs.finger_one.y], rand(1000)]
  r.stop "rec.txt" if r.is_recording? && args.tick_count == 11
end
GAME

# Input sent before the steps of a session: 0 before its first step, which is before the
# session has begun (nothing of it may reach the session), then 1, 2 ... before each step
# after the one in which the game's first tick of the session ran.
PLAYED = {
  0 => [[:mouse_move, 40, 50], [:key_down_raw, 122, 0]],
  1 => [[:key_down_raw, 97, 0], [:textinput, "h\xC3\xA9,]\"\\"], [:mouse_move, 100, 200],
        [:controller_key_down, 1, 15], [:left_analog_x_player_1, 20000], [:finger_down, 3, 10, 20]],
  2 => [[:key_up_raw, 97, 0], [:mouse_button_pressed, 1], [:mouse_wheel, 0, 1], [:left_analog_y_player_1, -32768],
        [:finger_move, 3, 30, 40]],
  3 => [[:mouse_button_up, 1], [:controller_key_held, 1, 15], [:key_down_raw, 98, 1], [:finger_up, 3]],
  5 => [[:controller_key_up, 1, 15], [:key_up_raw, 98, 1], [:textinput, "x"]],
  6 => [[:key_down_raw, 120, 0], [:key_up_raw, 120, 0]], # a tap: down on this step, up on the next
  8 => [[:mouse_move, 3, 4], [:left_analog_x_player_1, 0]]
}

# Live input while replaying: all of it must be dropped.
OTHER = {
  1 => [[:key_down_raw, 99, 0], [:textinput, "zz"], [:finger_down, 1, 1, 1]],
  2 => [[:mouse_move, 7, 7], [:controller_key_down, 1, 16]],
  4 => [[:left_analog_x_player_1, -20000], [:mouse_button_pressed, 3]],
  6 => [[:key_down_raw, 100, 0], [:mouse_wheel, 2, 2]]
}

STARTS = [:command_line, :between_steps, :console, :game_tick, :console_after_1000_ticks]

# The console runs commands during its own tick, between the replay feed and the game's tick.
def hook_console
  console = $zoq.console
  def console.tick args
    if $console_action
      action = $console_action
      $console_action = nil
      action.call
    end
    super
  end
  recording = $zoq.recording
  def recording.log_info *args
    ($infos ||= []) << args[0].to_s
    super
  end
end

# A game running for a few steps with input of its own, or booted with the command line.
def game_for how, argv
  now = boot_game RECORD_GAME, how == :command_line ? argv : "./zintarel game"
  hook_console
  return now if how == :command_line
  $zoq.mouse_move 600, 600
  $zoq.key_down_raw 101, 0
  now = run_steps now, 3
  Kernel.global_tick_count = 1500 if how == :console_after_1000_ticks
  now
end

# Starts the session as `how` says, sends the input before each step and steps until the
# session has ended. Answers what the game saw.
def session how, argv, action, input
  now = game_for how, argv
  $seen = []
  $infos = []
  case how
  when :between_steps then action.call
  when :console, :console_after_1000_ticks then $console_action = action
  when :game_tick then $game_action = action
  end
  step = 0
  sent = 0
  loop do
    active = $recording.is_recording? || $recording.is_replaying?
    if step == 0 || (active && $recording.tick_count > 0)
      (input[sent] || []).each { |name, *values| $zoq.send name, *values }
      sent += 1
    end
    host_step now
    now += 20
    step += 1
    active = $recording.is_recording? || $recording.is_replaying?
    break if (!active && step > 3) || step > 80
  end
  assert_equal [], $host_errors
  $seen
end

test "every way of starting a recording replays identically every way, live input dropped" do
  STARTS.each do |record_start|
    recorded = session(record_start, "./zintarel game --record --seed 7", -> { $recording.start 7 }, PLAYED)
    assert_equal (0..11).to_a, recorded.map { |seen| seen[0] }, "recorded ticks (#{record_start})"
    # Every kind of input reached the recording, and none from before it started.
    flat = recorded.flatten
    [:a, :b, :x, "h\xC3\xA9,]\"\\", "x", 20000, [100, 520], [0, 1], [10, 700], [30, 680], 1.0].each do |wanted|
      assert flat.include?(wanted) || recorded.any? { |seen| seen.include?(wanted) }, "#{wanted.inspect} (#{record_start})"
    end
    refute flat.include?(:z) || recorded.any? { |seen| seen[4] == [40, 670] || seen[4] == [600, 120] }, record_start.to_s
    file = $zoq.read_file("rec.txt")
    assert_equal file, $zoq.read_file("last_replay.txt")
    STARTS.each do |replay_start|
      replayed = session(replay_start, "./zintarel game --replay rec.txt", -> { $replay.start "rec.txt" }, OTHER)
      recorded.each_with_index { |seen, i| assert_equal seen, replayed[i], "tick #{i}: #{seen.inspect} vs #{replayed[i].inspect} recorded #{record_start}, replayed #{replay_start}" }
      assert_equal recorded, replayed, "recorded #{record_start}, replayed #{replay_start}"
      assert $infos.any? { |text| text.include?("Replay completed [rec.txt]") }, $infos.inspect
      refute $recording.is_replaying?
    end
  end
end

test "a replay file is read whole and checked: a refused one changes nothing" do
  head = "replay_version 2.0\nstopped_at 30\nseed 5\nrecorded_at 2026-01-01 10:00:00 +0000\n"
  corrupt = "Replay data seems corrupt."
  [
    ["replay_version 1.0\nstopped_at 1\nseed 1\n", "is not compatible with this version"],
    [head + "hello\n", "#{corrupt} I don't know how to parse hello."],
    [head.sub("seed 5\n", ""), "#{corrupt} r.txt has no seed line."],
    [head.sub("stopped_at 30\n", ""), "#{corrupt} r.txt has no stopped_at line."],
    [head.sub("seed 5", "seed five"), "#{corrupt} I don't know how to parse seed five."],
    [head.sub("stopped_at 30", "stopped_at -3"), corrupt],
    [head.sub("stopped_at 30", "stopped_at -1"), corrupt],
    [head.sub("stopped_at 30", "stopped_at 0"), nil],                       # the least
    [head.sub("seed 5", "seedling 5"), corrupt],
    [head + "[:key_down_raw, 97, 0, 2, 1]\n", corrupt],                     # five fields
    [head + "[:key_down_raw, 97, 0, 2, 1, 5, 6]\n", corrupt],               # seven
    [head + "[:instance_eval, \"exit\", 0, 1, 1, 5]\n", corrupt],           # not a callback
    [head + "[:request_quit, 0, 0, 0, 1, 5]\n", corrupt],                   # not replayable
    [head + "[:key_down_raw, \"97\", 0, 2, 1, 5]\n", corrupt],              # a String key
    [head + "[:textinput, 5, 0, 1, 1, 5]\n", corrupt],                      # a number typed
    [head + "[:textinput, \"a\\q\", 0, 1, 1, 5]\n", corrupt],               # unknown escape
    [head + "[:textinput, \"unended, 0, 1, 1, 5]\n", corrupt],
    [head + "[:textinput, \"a\", 0, 0, 1, 5]\n", corrupt],                  # text is one value
    [head + "[:textinput, \"a\", 0, 2, 1, 5]\n", corrupt],
    [head + "[:textinput, \"a\", 0, 1, 1, 5]\n", nil],
    [head + "[:key_down_raw, 97, 0, 2, 1, -1]\n", corrupt],                 # negative tick
    [head + "[:key_down_raw, 97, 0, 2, 1, 0]\n", nil],
    [head + "[:key_down_raw, 97, 0, 9, 1, 5]\n", corrupt],                  # value count
    [head + "[:key_down_raw, 97, 0, 3, 1, 5]\n", corrupt],
    [head + "[:key_down_raw, 97, 0, -1, 1, 5]\n", corrupt],
    [head + "[:key_down_raw, 97, 0, 0, 1, 5]\n", corrupt],                  # the key callback takes two values
    [head + "[:key_down_raw, 97, 0, 2, 1, 5]\n", nil],
    [head + "[:key_down_raw, 97, 0, 2, 1, 5] x\n", corrupt]
  ].each do |text, message|
    now = boot_game "def tick args; end\n"
    $zoq.args.state.marker = 5
    $zoq.write_file "r.txt", text
    seed = $zoq.seed
    if message
      assert_raises(RuntimeError, message) { $zoq.start_replay "r.txt" }
      assert_equal [5, false, seed], [$zoq.args.state.marker, $recording.is_replaying?, $zoq.seed], text
    else
      assert_equal [nil, true], [$zoq.start_replay("r.txt"), $recording.is_replaying?], text
    end
  end
  # Accepted: numbers keep their kind, Strings their bytes, events sort by id within a tick.
  bytes = (0..255).map { |b| b.chr }.join
  events = [[:textinput, bytes, 0, 1, 3, 4], [:mouse_move, 1.5, -2, 2, 2, 4], [:key_up_raw, 97, 1e3, 2, 1, 4]]
  $zoq.write_file "r.txt", head + "\n" + events.map { |e| e.to_s }.join("\n") + "\n"
  assert_equal nil, $zoq.start_replay("r.txt")
  listed = $replay_data[:input_history][4]
  assert_equal [1, 2, 3], listed.map { |e| e[:id] }
  assert_equal [[:key_up_raw, 97, 1000.0], [:mouse_move, 1.5, -2], [:textinput, bytes, 0]],
               listed.map { |e| [e[:name], e[:value_1], e[:value_2]] }
  assert_equal [5, 30, "2026-01-01 10:00:00 +0000"], [$replay_data[:seed], $replay_data[:stopped_at], $replay_data[:recorded_at]]
  assert_equal false, $zoq.start_replay("none.txt")
end

test "wrong calls are refused without touching the game; cancelling while idle does nothing" do
  now = boot_game "def tick args; end\ndef reset; $resets += 1; end\n"
  $resets = 0
  zoq = $zoq
  zoq.args.state.marker = 1
  zoq.write_file "r.txt", "replay_version 2.0\nstopped_at 100\nseed 3\n"
  [
    [-> { zoq.recording.cancel }, nil, "$zoq.reset seed"],
    [-> { zoq.recording.start_recording }, nil, "$recording.start SEED_NUMBER"],
    [-> { zoq.recording.stop_recording "x.txt" }, nil, "$recording.start"],
    [-> { zoq.recording.stop_replay }, nil, "$replay.start 'replay.txt'"],
    [-> { zoq.recording.start_replay }, nil, "$replay.start 'replay.txt'"]
  ].each_with_index do |(call, answer, command), i|
    # The console takes the first command set in a global tick.
    Kernel.global_tick_count += 1
    zoq.console.current_input_str = "$zoq.reset seed"
    assert_equal answer, call.call, "row #{i}"
    assert_equal [1, 0, false, false, command], [zoq.args.state.marker, $resets, zoq.recording.is_recording?,
                                                 zoq.recording.is_replaying?, zoq.console.current_input_str], "row #{i}"
  end
  # One running thing at a time.
  zoq.recording.start_recording 4
  assert_equal [nil, true, false], [zoq.recording.start_replay("r.txt"), zoq.recording.is_recording?, zoq.recording.is_replaying?]
  assert_equal [nil, true], [zoq.recording.start_recording(5), zoq.recording.is_recording?]
  zoq.recording.cancel
  zoq.recording.start_replay "r.txt"
  assert_equal [nil, false, true], [zoq.recording.start_recording(4), zoq.recording.is_recording?, zoq.recording.is_replaying?]
end

test "a recording that cannot be written keeps running with its events; one running at quit is saved as it is" do
  now = boot_game "def tick args; $ticks = args.tick_count; end\ndef reset; $resets += 1; end\n"
  $resets = 0
  zoq = $zoq
  zoq.recording.start_recording 8
  now = run_steps now, 1
  zoq.key_down_raw 97, 0
  now = run_steps now, 1
  zoq.textinput "q"
  resets = $resets
  assert_equal false, zoq.recording.stop_recording("../outside.txt")
  assert zoq.recording.is_recording?
  assert_equal [[:key_down_raw, 97, 0, 2, 1, 1], [:textinput, "q", 0, 1, 2, 2]], zoq.recording.input_history
  assert_equal resets, $resets
  now = run_steps now, 2
  zoq.args.state.marker = 9
  before = Time.now.to_i
  zoq.quit!
  after = Time.now.to_i
  text = (before..after).map { |t| zoq.read_file("replay_#{t}.txt") }.find { |t| t }
  assert text, "no replay_TIME.txt"
  assert_equal ["replay_version 2.0", "stopped_at 4", "seed 8"], text.split("\n")[0, 3]
  assert text.include?("[:textinput, \"q\", 0, 1, 2, 2]\n")
  assert_equal [resets, 9, false], [$resets, zoq.args.state.marker, zoq.recording.is_recording?]
end

test "a hand-edited value its callback cannot take refuses the file with its name and line, before anything changes" do
  head = "replay_version 2.0\nstopped_at 30\nseed 5\n"
  [
    ["[:mouse_move, 1e999, 5, 2, 1, 3]", "Infinity is outside -2147483648 to 2147483647 for mouse_move"],
    ["[:mouse_move, 1e300, 5, 2, 1, 3]", "1.0e+300 is outside -2147483648 to 2147483647 for mouse_move"],
    ["[:mouse_button_pressed, 99999999999, 0, 1, 1, 3]", "99999999999 is outside 1 to 63 for mouse_button_pressed"],
    ["[:key_down_raw, 999999999999, 0, 2, 1, 3]", "999999999999 is outside -2147483648 to 2147483647 for key_down_raw"],
    ["[:key_down_raw, 97, 70000, 2, 1, 3]", "70000 is outside 0 to 65535 for key_down_raw"],
    ["[:key_down_raw, 97, 0, 1, 1, 3]", "key_down_raw is sent 2 value(s), not 1"],
    ["[:key_down_player_one, 99, 0, 1, 1, 3]", "99 is no controller key for key_down_player_one"],
    ["[:left_analog_x_player_1, 40000, 0, 1, 1, 3]", "40000 is outside -32768 to 32767 for left_analog_x_player_1"],
    ["[:finger_down, 1, 5, 1e40, 1, 3]", "1.0e+40 is outside -2147483648 to 2147483647 for finger_down"],
    ["[:textinput, \"\\e\", 1e99, 1, 1, 3]", "1.0e+99 is outside -2147483648 to 2147483647 for textinput"]
  ].each do |line, problem|
    now = boot_game "def tick args; end\n"
    $zoq.args.state.marker = 5
    $zoq.write_file "hand.txt", head + "[:key_up_raw, 97, 0, 2, 1, 2]\n" + line + "\n"
    assert_raises(RuntimeError, "Replay data seems corrupt. hand.txt, line 5: #{problem}: #{line}") { $zoq.start_replay "hand.txt" }
    assert_equal [5, false], [$zoq.args.state.marker, $recording.is_replaying?], line
  end
  # An unreadable line says where it is too.
  $zoq.write_file "hand.txt", head + "[:key_down_raw, 97, 0, 2, 1]\n"
  assert_raises(RuntimeError, "I don't know how to parse [:key_down_raw, 97, 0, 2, 1]. (hand.txt, line 4)") { $zoq.start_replay "hand.txt" }
end

test "a long replay reads back event for event, and a missing one says so in the log and the console" do
  now = boot_game "def tick args; end\n"
  texts = ["a", "b,c", "d\"e", "\u00e9"]
  events = (0...20_000).map do |i|
    case i % 5
    when 0 then [:mouse_move, i % 1280, 7.5, 2, i + 1, i]
    when 1 then [:key_down_raw, 97, 0, 2, i + 1, i]
    when 2 then [:textinput, texts[i % 4], 0, 1, i + 1, i]
    when 3 then [:key_down_player_two, 15, 0, 1, i + 1, i]
    else [:finger_move, 3, 1.25, -4, i + 1, i]
    end
  end
  $zoq.write_file "long.txt", "replay_version 2.0\nstopped_at 20001\nseed 1\n" + events.map { |e| e.to_s }.join("\n") + "\n"
  assert_equal nil, $zoq.start_replay("long.txt")
  read = $replay_data[:input_history].keys.sort.map do |tick|
    e = $replay_data[:input_history][tick][0]
    [e[:name], e[:value_1], e[:value_2], e[:value_count], e[:id], tick]
  end
  differs = (0...events.length).find { |i| events[i] != read[i] }
  assert differs.nil? && read.length == events.length, "event #{differs}: #{events[differs || 0].inspect} read as #{read[differs || 0].inspect}"
  assert_equal [Integer, Float], [read[0][1].class, read[0][2].class]
  $recording.stop_replay
  $console.log.clear
  assert_equal false, $zoq.start_replay("nosuch.txt")
  said = "The replay file nosuch.txt could not be read"
  assert $console.log.any? { |l| l.include?(said) }, $console.log.inspect
  assert_includes on_disk("logs/log.txt"), said
end

test "the host reads a plain event line to the values the framework reads from it, and leaves it any other" do
  [
    # line, whether the host reads it
    ["[:mouse_move, -0, 1.5e+2, 2, 1, 0]", true],
    ["[:mouse_move,5,6,2,1,0]", true],
    ["[:mouse_move , 5 ,6.25e-3, 2 , 1 , 0]", true],
    ["[:textinput, \"b,c]\", 0, 1, 1, 0]", true],
    ["[:key_up_player_one, 15, 0, 1, 9, 4]", true],
    ["[:textinput, \"\\e\", 0, 1, 1, 0]", false],                # an escape
    ["[:mouse_move, 5, 6, 2, 1, 0] ", true],                     # blanks around, as strip takes them
    ["\t[:mouse_move, 5, 6, 2, 1, 0]\r\0", true],
    ["[ :mouse_move, 5, 6, 2, 1, 0]", false],
    ["[:finger_move, 1, 2, 3, 1, 0]", false],                    # a touch's y in the count
    ["[:key_up_player_one, 15.0, 0, 1, 9, 4]", false],           # a key as a Float
    ["[:mouse_move, 5, 6, 2, 1, 123456789012345678901]", false], # past 18 digits: refused
    ["[:mouse_move, 0x10, 6, 2, 1, 0]", false],
    ["[:mouse_move, 5., 6, 2, 1, 0]", false],
    ["[:mouse_move, 5, 6, 2, 1, -1]", false],
    ["[:mouse_move, 1e10, 6, 2, 1, 0]", false],                  # out of range
    ["[:no_such_callback_at_all, 5, 6, 2, 1, 0]", false]
  ].each do |line, read_by_host|
    history = {}
    left = ZOQ::ReplayFile.read_plain_events line, history, ZOQ::ReplayFile::CHECKS
    assert_equal [read_by_host, read_by_host ? [] : [[0, line]]], [history.length == 1, left], line
    next unless read_by_host
    tick, list = history.first
    e = list[0]
    host = [e[:name], e[:value_1], e[:value_2], e[:value_count], e[:id], tick]
    framework = ZOQ::ReplayFile.read_event(line.strip)
    assert_equal framework.map { |v| [v, v.class] }, host.map { |v| [v, v.class] }, line
  end
end

test "blank lines and CR line ends cost a replay file nothing per line, and its lines keep their numbers" do
  head = "replay_version 2.0\r\nstopped_at 10\r\nseed 3\r\n"
  text = head + " \t\r\n\n\0\n" * 50_000 + "[:key_down_raw, 97, 0, 2, 1, 2]\r\n"
  GC.disable
  before = ObjectSpace.count_objects
  data = ZOQ::ReplayFile.parse text, "padded.txt"
  after = ObjectSpace.count_objects
  GC.enable
  made = (after[:TOTAL] - after[:FREE]) - (before[:TOTAL] - before[:FREE])
  assert made < 1000, "#{made} objects for 150,000 blank lines"
  assert_equal [[:key_down_raw, 97, 1]], data[:input_history][2].map { |e| [e[:name], e[:value_1], e[:id]] }
  assert_raises(RuntimeError, "I don't know how to parse x\r. (padded.txt, line 150005)") do
    ZOQ::ReplayFile.parse text + "x\r\n", "padded.txt"
  end
end
