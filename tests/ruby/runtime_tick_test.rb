# The runtime's step driven the way the host drives it, with made-up millisecond times:
# queued files are loaded from the very Array the runtime hands over, then tick, then
# reload_complete when something was loaded.

test "the 13 ms rule: a step sooner than 13 ms after the last calculated one does not calculate" do
  now = boot_game "def tick args; $ticks << args.tick_count; end\n"
  $ticks = []
  assert_equal nil, host_step(now)
  # Skipped steps do not move the reference time either.
  [[12, [0]], [13, [0, 1]], [20, [0, 1]], [25, [0, 1]], [26, [0, 1, 2]]].each do |later, ticks|
    host_step now + later
    assert_equal ticks, $ticks, "at +#{later} ms"
  end
end

test "--speed sets how many calculations one step makes: 0 gives 1, -3 gives 3, 2 gives 2" do
  [["0", 1], ["-3", 3], ["2", 2]].each do |speed, per_step|
    now = boot_game "def tick args; $ticks << args.tick_count; end\n", "./zintarel game --speed #{speed}"
    $ticks = []
    global_before = Kernel.global_tick_count
    host_step now
    host_step now + 20
    assert_equal (0...(2 * per_step)).to_a, $ticks, "speed #{speed}"
    assert_equal global_before + 2 * per_step, Kernel.global_tick_count
  end
end

test "slow motion runs the game's tick on one calculation in factor + 1 while the game keeps asking" do
  now = boot_game "def tick args; $ticks << Kernel.global_tick_count; $zoq.slowmo!(3) if $slow; end\n"
  $ticks = []
  $slow = true
  12.times { |i| host_step now + i * 20 }
  assert_equal [0, 4, 8], $ticks
  # Not asking on a tick returns to normal speed.
  $slow = false
  $ticks = []
  8.times { |i| host_step now + 240 + i * 20 }
  assert $ticks.length >= 5, $ticks.inspect
  last = $ticks[-4..-1]
  assert_equal (last[0]..(last[0] + 3)).to_a, last
end

test "schedule_callback runs on its tick; a second block for the same tick raises and the first stays" do
  now = boot_game "def tick args; end\n"
  $called = []
  $zoq.schedule_callback(2) { $called << [:first, Kernel.tick_count] }
  assert_raises(RuntimeError, "Callback has already been scheduled for tick 2. If you meant to do this, execute $zoq.scheduled_callbacks.clear first.") do
    $zoq.schedule_callback(2) { $called << [:second, Kernel.tick_count] }
  end
  4.times { |i| host_step now + i * 20 }
  assert_equal [[:first, 2]], $called
end

test "a reset before the first game tick does nothing; a reset from the game's reset hook is ignored" do
  now = boot_game "def tick args; args.state.counter = (args.state.counter || 0) + 1; end\n" \
                  "def reset; $hook_calls += 1; $zoq.reset; $zoq.__reset__; end\n"
  $hook_calls = 0
  assert_equal [nil, 0], [$zoq.reset, $hook_calls]
  3.times { |i| host_step now + i * 20 }
  assert_equal 3, $args.state.counter
  $zoq.reset
  assert_equal [1, -1, nil], [$hook_calls, Kernel.tick_count, $args.state.counter]
  # A second reset in the same tick finds the tick count at -1.
  $zoq.reset
  assert_equal 1, $hook_calls
  host_step now + 100
  assert_equal [0, 1], [Kernel.tick_count, $args.state.counter]
  # The same state object, emptied, with a new entity id.
  state = $args.state
  old_id = state.entity_id
  state[0] = :indexed
  host_step now + 120
  $zoq.reset
  assert_equal [2, nil], [$hook_calls, state[0]]
  assert state.equal?($args.state)
  refute old_id == state.entity_id
  refute $console.log.any? { |line| line.to_s.include?("array indexers") }, "a reset is not the game's use of as_hash"
end

test "reset with an explicit override seeds with it rather than with the old seed" do
  now = boot_game "def tick args; end\n"
  now = run_steps now, 3
  # An explicit nil seed asks for a fresh one rather than keeping the one in use.
  [[-> { $zoq.reset 77 }, 77], [-> { $zoq.reset }, 77], [-> { $zoq.reset seed: 5 }, 5], [-> { $zoq.reset seed: nil }, :fresh]]
    .each do |reset, seed|
    reset.call
    assert(seed == :fresh ? $zoq.seed > 1000000 : $zoq.seed == seed, "#{seed}: #{$zoq.seed}")
    now = run_steps now, 2
  end
end

test "an exception in the game's tick writes both reports, pauses the game and prepares the reset command" do
  now = boot_game "def tick args; $ticks << args.tick_count; raise 'boom at two' if args.tick_count == 2; end\n"
  $ticks = []
  4.times { |i| host_step now + i * 20 }
  assert_equal [0, 1, 2], $ticks
  assert $zoq.paused?
  current = $zoq.ffi_file.read("exceptions/current.txt")
  assert current.include?("boom at two") && current.include?("Game State:"), current.to_s
  assert_equal current, $zoq.ffi_file.read("exceptions/game_state_2.txt")
  assert $console.visible?
  assert_equal [:exception, "$zoq.reset seed: #{$zoq.seed}"], [$console.show_reason, $console.current_input_str]
  # Later steps run the engine (the window pass is still submitted) but not the game.
  host_step now + 200
  assert_equal [[0, 1, 2], [$args.outputs]], [$ticks, $zoq.passes]
  # A reset unpauses and the game starts over.
  Kernel.tick_count = 3
  $zoq.reset
  host_step now + 220
  assert_equal [0, 1, 2, 0], $ticks
  refute $zoq.paused?
end

test "a game that breaks args.state still gets one report and a paused game, not an exception every step" do
  now = boot_game "def tick args; $ticks += 1; args.state = nil; raise 'state gone'; end\n"
  $ticks = 0
  host_step now
  assert $zoq.paused? && $ticks == 1
  log_before = $console.log.length
  5.times { |i| host_step now + 20 + i * 20 }
  assert_equal 1, $ticks
  later = $console.log[log_before..-1] || []
  assert later.none? { |line| line.to_s.include?("EXCEPTION") }, later.inspect
  # A reset gives the game a state again, and $state follows it.
  Kernel.tick_count = 2
  $zoq.reset
  assert $args.state.is_a?(ZOQ::OpenEntity) && $state.equal?($args.state)
end

test "--eval or --test naming a missing file logs the error and quits instead of idling" do
  boot = lambda { |argv| new_runtime argv; host_step 5000 }
  boot.call "./zintarel game --eval app/none.rb --no-tick"
  assert $zoq.quit_requested?
  assert $console.log.any? { |line| line.include?("File does not exist: app/none.rb") }, $console.log.inspect
  boot.call "./zintarel game --test app/none_test.rb"
  assert $zoq.quit_requested?
  # Without --eval, no-tick only hides the window: the game ticks as usual; and without
  # no-tick a missing --eval file does not end the run.
  FFI::File.new.write "app/main.rb", "def tick args; $game_ticks = args.tick_count; end\n"
  ["./zintarel game --no-tick", "./zintarel game --record --no-tick", "./zintarel game --eval app/none.rb"].each do |argv|
    $game_ticks = nil
    boot.call argv
    4.times { |i| host_step 5100 + i * 17 }
    refute $zoq.quit_requested?, argv
    assert $game_ticks && $game_ticks >= 1, argv
  end
end

test "--eval with --no-tick loads the file before any game tick and quits once its callbacks ran" do
  FFI::File.new.write "app/startup.rb", "$eval_ran = Kernel.tick_count\n$zoq.schedule_callback(3) { $callback_ran = true }\n"
  $eval_ran = nil
  $callback_ran = nil
  now = boot_game "def tick args; $game_ticked = true; end\n", "./zintarel game --eval app/startup.rb --no-tick"
  $game_ticked = nil
  steps = 0
  until $zoq.quit_requested? || steps > 20
    host_step now + steps * 20
    steps += 1
  end
  assert $zoq.quit_requested?, "the run must end"
  assert_equal [-1, true, nil], [$eval_ran, $callback_ran, $game_ticked]
end

test "--test loads the test file, runs its tests without the game's tick and quits" do
  FFI::File.new.write "app/my_test.rb", "def test_sums args, assert; assert.equal! 1 + 1, 2; end\n"
  now = boot_game "def tick args; $game_ticked = true; end\n", "./zintarel game --test app/my_test.rb"
  $game_ticked = nil
  4.times { |i| host_step now + i * 20 }
  assert $zoq.quit_requested? && !$game_ticked
  assert_equal [{ m: :test_sums }], $tests.passed
  Object.send(:remove_method, :test_sums)
end

test "--record starts a recording seeded with 100 and wins over --replay" do
  now = boot_game "def tick args; end\n", "./zintarel game --record --replay x.txt"
  host_step now
  assert $recording.is_recording? && !$recording.is_replaying?
  # The seed cannot be changed while recording.
  assert_equal [100, nil, 100], [$zoq.seed, $zoq.set_rng(5), $zoq.seed]
end

test "--replay without a file name replays last_replay.txt at the given speed" do
  now = boot_game "def tick args; end\n", "./zintarel game --replay --speed 2"
  host_step now
  text = "--replay switch found. Replay will be started using file [last_replay.txt] (--replay FILENAME) with replay speed [2] (--speed SPEED)."
  assert ($console.log + $console.archived_log).any? { |line| line.include?(text) }, $console.log.inspect
end

test "an exception naming its docs puts that docs call, not the rest of the report, into the prompt" do
  now = boot_game "def tick args; raise \"Bad shift\\n** docs: $zoq.docs.shift_left\\n\"; end\n"
  host_step now
  assert $zoq.paused?
  assert_equal ["$zoq.docs.shift_left", :exception], [$console.current_input_str, $console.show_reason]
end
