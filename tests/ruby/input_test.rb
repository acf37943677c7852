# args.inputs as a game sees it: events delivered through the bridge callbacks between
# steps, then the game's tick, the way the host drives them.

# The game's tick hands args to $probe, which keeps what the test asks for.
PROBE_GAME = "def tick args; $seen << $probe.call(args) if $probe; end\n"

# Presses (or releases) the keys in order, with the modifiers given.
def press *codes, mod: 0
  codes.each { |code| $zoq.key_down_raw code, mod }
end

def release *codes, mod: 0
  codes.each { |code| $zoq.key_up_raw code, mod }
end

def probe_steps now, n = 1, &probe
  $seen = []
  $probe = probe
  run_steps now, n
end

SHIFT = 0x400000E1
LEFT = 0x40000050
UP = 0x40000052

test "key tables: characters and names for codes, modifiers and lock states" do
  [
    [49, 0, "1", [:one]],
    [49, 1, "!", [:exclamation_point, :shift]],
    [49, 0x1001, "!", [:exclamation_point, :shift]],     # Num Lock on: still Shift alone
    [49, 0x8002, "!", [:exclamation_point, :shift]],     # Scroll Lock
    [97, 0x2001, "a", [:a, :shift]],                     # Caps Lock with Shift is not Shift alone
    [97, 3, "A", [:a, :shift]],
    [115, 0x40, "s", [:s, :control]],
    [47, 0x300, "/", [:forward_slash, :alt]],
    [96, 0xC00, "`", [:backtick, :meta]],
    [178, 0, "²", [:superscript_two]],
    [233, 0, "é", [:"é"]],                               # UTF-8, not the raw byte
    [27, 0, 27.chr, [:escape]],
    [127, 0, 127.chr, [:delete]],
    [5, 0, 5.chr, nil],                                  # a control code with no name
    [0x4000003A, 0, nil, nil],                           # F1
    [0x40000059, 0, nil, nil],                           # a keypad key
    [LEFT, 1, nil, [:left, :shift]],
    [0x400000E5, 1, nil, [:shift_right, :shift, :shift]],
    [97.0, 1.0, "A", [:a, :shift]]                       # replayed Floats
  ].each do |code, mod, char, names|
    assert_equal char, ZOQ::KeyboardKeys.char_with_shift(code, mod), "char of #{code} #{mod}"
    assert_equal names, ZOQ::KeyboardKeys.sdl_to_key(code, mod), "names of #{code} #{mod}"
  end
end

test "every key code with every modifier goes through press, release and a step without error" do
  now = boot_game PROBE_GAME
  codes = (0..255).to_a + ZOQ::KeyboardKeys::NAVIGATION_KEYS + (0x400000E0..0x400000E7).to_a + [0x4000003A]
  [0, 1, 3, 0x1000, 0x2001, 0xC0, 0x300, 0xC00].each do |mod|
    codes.each { |code| press code, mod: mod; release code, mod: mod }
    now = run_steps now, 1
  end
  # The last taps are released in the step after the last press.
  run_steps now, 1
  assert_equal [], $host_errors
  assert $zoq.args.inputs.keyboard.key_up.truthy_keys.empty?
end

test "keys across steps: within one step, held, Shift+A with repeat, arrows, bang reads, text" do
  now = boot_game PROBE_GAME
  sets = lambda do |args|
    k = args.inputs.keyboard
    [k.key_down, k.key_held, k.key_up].map { |keys| keys.truthy_keys.sort }
  end

  # Pressed and released between two steps: down in the step that sees it, up in the next,
  # as a key held for one step; pressed again before the step, it stays held.
  [[[[:down, 97], [:up, 97]], [[[:a], [], []], [[], [], [:a]], [[], [], []]]],
   [[[:down, 97], [:up, 97], [:down, 97]], [[[:a], [], []], [[], [:a], []], [[], [:a], []]]],
   [[[:down, 97], [:up, 97], [:down, 98]], [[[:a, :b], [], []], [[], [:b], [:a]], [[], [:b], []]]]].each do |events, expected|
    events.each { |kind, code| kind == :down ? press(code) : release(code) }
    now = probe_steps(now, 3, &sets)
    assert_equal expected, $seen, events.inspect
    release 97, 98
    now = run_steps now, 2
  end

  # Shift+A: both names and "A" on the press step, held afterwards; a repeat adds nothing.
  press SHIFT, 97, mod: 1
  now = probe_steps(now, 1) { |args| sets.call(args) + [args.inputs.keyboard.key_down.char] }
  assert_equal [[[:a, :shift, :shift_left], [], [], "A"]], $seen
  # Held keys keep the tick of their press step.
  press 97, mod: 1
  now = probe_steps(now, 1) { |args| sets.call(args) + [args.inputs.keyboard.key_held.a == args.tick_count - 1] }
  assert_equal [[[], [:a, :shift, :shift_left], [], true]], $seen
  release 97, mod: 1
  release SHIFT
  now = probe_steps(now, 2, &sets)
  assert_equal [[[], [], [:a, :shift, :shift_left]], [[], [], []]], $seen

  # Shift+1 pressed, Shift let go first, then 1: the "!" it was pressed as is released too.
  press SHIFT, 49, mod: 1
  now = run_steps now, 1
  release SHIFT
  now = run_steps now, 1
  release 49
  now = probe_steps(now, 2, &sets)
  assert_equal [[[], [], [:exclamation_point, :one]], [[], [], []]], $seen

  # The left arrow counts from the step after its press through the step of its release;
  # a letter counts from its press. Bang reads clear what they read.
  dirs = lambda { |args| k = args.inputs.keyboard; [!!k.left, !!k.k, args.inputs.left_right] }
  press LEFT, 107
  now = probe_steps(now, 2, &dirs)
  assert_equal [[false, true, 0], [true, true, -1]], $seen
  release LEFT, 107
  now = probe_steps(now, 2, &dirs)
  assert_equal [[true, false, -1], [false, false, 0]], $seen
  press 98
  now = probe_steps(now, 1) { |args| k = args.inputs.keyboard.key_down; [!!k.b!, !!k.b, !!k.b!] }
  assert_equal [[true, false, false]], $seen

  # Diagonals give the unit vector; nothing held gives nil.
  press LEFT, UP
  now = probe_steps(now, 2) { |args| args.inputs.directional_vector }
  assert_equal nil, $seen[0]
  assert (($seen[1][0] + 0.7071).abs < 0.001 && ($seen[1][1] - 0.7071).abs < 0.001), $seen[1].inspect
  release LEFT, UP
  $zoq.textinput "h"
  $zoq.textinput "é"
  now = probe_steps(now, 2) { |args| args.inputs.text.dup }
  assert_equal [["h", "é"], []], $seen
  # The directional helpers refuse a class that lacks the directions they are built on.
  assert_raises(RuntimeError, "- key_held: false") { Class.new { include ZOQ::DirectionalInputHelperMethods } }
end

test "left_right and up_down: -1, 0 or 1 from the four directions on a key set, the keyboard, a controller and the inputs" do
  boot_game PROBE_GAME
  held = [[[], 0, 0], [[:left], -1, 0], [[:right], 1, 0], [[:up], 0, 1], [[:down], 0, -1],
          [[:left, :right], -1, 0], [[:up, :down], 0, 1], [[:right, :down], 1, -1]]
  readers = [
    ["key set", lambda { |names| keys = ZOQ::KeyboardKeys.new; keys.set names; keys }],
    ["keyboard", lambda { |names| keyboard = ZOQ::Keyboard.new; keyboard.key_held.set names; keyboard }],
    ["controller", lambda { |names| pad = ZOQ::Controller.new; names.each { |name| pad.key_held.activate name }; pad }],
    ["inputs", lambda { |names| inputs = ZOQ::Inputs.new; names.each { |name| inputs.controller_one.key_held.activate name }; inputs }]
  ]
  readers.each do |kind, make|
    held.each do |names, left_right, up_down|
      reader = make.call(names)
      assert_equal [left_right, up_down], [reader.left_right, reader.up_down], "#{kind} holding #{names.inspect}"
    end
  end
end

test "mouse and controllers across steps: wheel sums, clicks, replayed Floats, directions" do
  now = boot_game PROBE_GAME
  # Replayed values arrive as Floats; what the game reads matches live input.
  $zoq.mouse_move 100.0, 20.0
  $zoq.mouse_wheel 0, 1
  $zoq.mouse_wheel 1.0, 1
  $zoq.mouse_button_pressed 1.0
  mouse_probe = lambda do |args|
    m = args.inputs.mouse
    [m.point, m.wheel && [m.wheel.x, m.wheel.y], m.click && m.click.point, m.previous_click && m.previous_click.point,
     m.button_left, args.inputs.click]
  end
  now = probe_steps(now, 2, &mouse_probe)
  assert_equal [[100, 700], [1, 2], [100, 700], nil, true, [100, 700]], $seen[0]
  assert_equal [[100, 700], nil, nil, [100, 700], true, nil], $seen[1]
  assert_equal [true, false], [{ x: 90, y: 690, w: 20, h: 20 }, { x: 0, y: 0, w: 20, h: 20 }].map { |r| $zoq.args.inputs.mouse.inside_rect?(r) }

  zoq = $zoq
  zoq.write_file "r.txt", "replay_version 2.0\nstopped_at 100\nseed 3\nrecorded_at now\n"
  zoq.start_replay "r.txt"
  assert zoq.recording.is_replaying? && zoq.seed == 3
  zoq.controller_key_down 1, 15                   # live, dropped during a replay
  zoq.key_down_player_one 16.0, :replay
  zoq.controller_key_down 2.0, 3.0, :replay
  zoq.controller_key_held 2.0, 1.0, :replay
  pads = lambda do |args|
    one = args.inputs.controller_one
    two = args.inputs.controller_two
    [one.key_down.truthy_keys, two.key_down.truthy_keys, two.key_held.truthy_keys, !!one.x, two.directional_vector]
  end
  now = probe_steps(now, 2, &pads)
  assert_equal [[:x], [:left], [:up], true, [0, 1]], $seen[0] # left counts once held
  assert_equal [[], [], [:up], false, [0, 1]], $seen[1]
  # The end of a replay leaves nothing it pressed held for the live player.
  zoq.recording.stop_replay
  refute zoq.recording.is_replaying?
  probe_steps(now, 1, &pads)
  assert_equal [[], [], [], false, nil], $seen[0]
end

test "mapping lines: whole and inverted axes, halves, hats, skipped parts, names made safe" do
  config = ZOQ::Controller::Config.new($zoq)
  parts = config.parts.map { |part| part[3] }
  guid = "03000000" + "0" * 24
  [
    ["Pad", { "-leftx" => "-a0", "+leftx" => "+a0", "-lefty" => "+a1", "+lefty" => "-a1" }, "leftx:a0,lefty:a1~,"],
    ["Pad", { "-leftx" => "b12", "+leftx" => "b13", "a" => "b0" }, "a:b0,-leftx:b12,+leftx:b13,"],
    ["Pad", { "-leftx" => "-a0", "-righty" => "-a3", "+righty" => "+a2" }, "-leftx:-a0,-righty:-a3,+righty:+a2,"],
    ["Pad", { "dpup" => "h0.1", "dpleft" => "h0.8", "start" => "b9" }, "dpup:h0.1,dpleft:h0.8,start:b9,"],
    ["Pad, Mk\x01II", {}, ""]
  ].each do |name, bound, entries|
    config.target = [4, { name: name, guid: guid }]
    config.bindings = parts.map { |field| bound[field] }
    safe_name = name.bytes.map { |b| b < 32 || b == 44 ? " " : b.chr }.join
    assert_equal "#{guid},#{safe_name},platform:Linux,#{entries}", config.build_binding_string
  end
end

test "the mapping screen: an axis binds on its way back, a control binds once, only ESCAPE ends it" do
  now = boot_game "def tick args; $game_ticks += 1; end\n"
  $game_ticks = 0
  config = $zoq.controller_config
  $zoq.rawjoystick_connected 40, "Stick", "0300000000000000000000000000aa00"
  $zoq.rawjoystick_connected 41, "Waiting", "0300000000000000000000000000bb00"
  now = run_steps now, 1
  config.fading = 0
  [[0, -3000], [0, -32768], [0, 0], [0, -32768], [0, 0]].each { |axis, value| $zoq.rawjoystick_axis 40, axis, value }
  $zoq.rawjoystick_axis 41, 1, -32768 # another joystick is not heard
  assert_equal [["-a0"], 1, nil], [config.bindings, config.current_part, config.joystick_state[:axes][1]]
  # Unplugged: the one waiting is forgotten, the one on screen keeps the screen.
  $zoq.rawjoystick_disconnected 41
  $zoq.rawjoystick_disconnected 40
  now = run_steps now, 1
  assert_equal [true, 0, []], [config.should_tick?, $game_ticks, config.raw_joysticks.keys]
  $zoq.key_down_raw 27, 0
  now = run_steps now, 100 # the fade-out takes 1.5 seconds
  assert_equal [false, true], [config.should_tick?, $game_ticks > 0]
end
