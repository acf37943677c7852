# The runtime's services for the game: saved state, notifications, args' render targets
# and audio, logging, suggestions, the primitive dispatch, file wrappers and deprecations.

test "save_state then load_state brings the state back through game_state.txt, non-finite numbers too" do
  now = boot_game "def tick args; end\n"
  now = run_steps now, 3
  $args.state.score = 42
  $args.state.player.name = "Ada"
  $args.state.speeds = [1.5, Float::INFINITY, -Float::INFINITY, Float::NAN]
  $args.state.shared = [1, 2]
  $args.state.alias_of_shared = $args.state.shared
  old = $args.state
  $zoq.save_state
  saved = $zoq.ffi_file.read("game_state.txt")
  assert saved.include?(":score=>42"), saved
  $args.state.score = 0
  loaded = $zoq.load_state
  state = $args.state
  assert !state.equal?(old) && state.equal?(loaded) && state.equal?($state)
  assert_equal [42, "Ada", 2], [state.score, state.player.name, Kernel.tick_count]
  assert_equal [1.5, Float::INFINITY, -Float::INFINITY], state.speeds[0, 3]
  assert state.speeds[3].nan? && state.shared.equal?(state.alias_of_shared)
end

test "load_state without a saved file keeps the current state and says so" do
  now = boot_game "def tick args; end\n"
  run_steps now, 2
  $zoq.ffi_file.write "game_state.txt", ""
  $args.state.kept = :yes
  state = $args.state
  $zoq.load_state
  assert state.equal?($args.state) && $args.state.kept == :yes
  assert $console.log.any? { |l| l.include?("No saved state was found in game_state.txt") }
  # A name that is not a file name is taken as the data itself.
  assert_raises(RuntimeError, "Failed to eval: save.") { $zoq.deserialize_state("save") }
  assert_equal nil, $zoq.deserialize_state("missing.txt")
end

test "notify! shows a notification that fades in and out over its duration" do
  now = boot_game "def tick args; end\n"
  now = run_steps now, 2
  $zoq.notify! "Hello", 40
  alphas = []
  45.times do
    host_step now
    now += 20
    logo = $args.outputs.reserved.find { |p| p[:path] == "console-logo.png" }
    alphas << (logo ? logo[:a] : nil)
  end
  assert $console.log.include?("* NOTIFY: Hello")
  assert alphas[0] > 0 && alphas[0] < 40 && alphas[35] < 255 && alphas[35] > 0, alphas.inspect
  assert_equal [255, nil, nil, nil], alphas.values_at(20, -3, -2, -1)
  $zoq.notify! "Again", 300
  host_step now
  assert $args.outputs.reserved.find { |p| p[:text] == "Again" }
  # The same message does not restart the timer; a blank one shows only the logo.
  now = run_steps now + 20, 20
  $zoq.notify! "Again", 300
  host_step now
  assert_equal 255, $args.outputs.reserved.find { |p| p[:text] == "Again" }[:a]
  $zoq.notify_subdued!
  host_step now + 20
  assert_equal 1, $args.outputs.reserved.length
end

test "render_target by Symbol or String is one pass within a step and a new one the next step" do
  now = boot_game "def tick args\n" \
                  "  a = args.render_target(:a); b = args.render_target('a')\n" \
                  "  $same = a.equal?(b); $passes = args.passes.length; $pass = a\n" \
                  "  a.solids << { x: 1 }\n" \
                  "  args.audio = nil\n" \
                  "end\n"
  host_step now
  first = $pass
  assert_equal [true, 1, [first, $args.outputs], "a", nil, [255, 255, 255, 0], {}],
               [$same, $passes, $zoq.passes, $zoq.target(first), $zoq.target($args.outputs), first.background_color, $zoq.audio]
  host_step now + 20
  refute first.equal?($pass)
  assert_equal 1, $pass.solids.length
  assert_raises(RuntimeError, "Args#zintar has been deprecated") { $args.zintar }
end

test "the log level switches the console but not standard output; an unknown level becomes :on" do
  now = boot_game "def tick args; end\n"
  $zoq.log_level = :off
  before = $console.log.length
  $zoq.log "quiet line", ZOQ::Log
  assert_equal before, $console.log.length
  $zoq.log "direct line"
  assert_equal "direct line", $console.log[-1]
  $zoq.log_level = :loud
  assert_equal :on, $zoq.log_level
end

# The suggestions of method_missing are in lib_method_missing_test.rb.
test "grep_source finds the calls" do
  now = boot_game "def tick args\n  args.state.playr.x = 1\nend\n"
  found = $zoq.grep_source([".playr", "player"])
  assert found.include?("app/main.rb, line 2: args.state.playr.x = 1"), found
  assert found.include?("  recommendation: player (.playr, 2)"), found
  assert_equal "No search parameters were provided. The request to search came from ZOQ::Runtime with value #<ZOQ::Runtime>.",
               $zoq.grep_source
  assert $zoq.ignore_search_term?(".state") && $zoq.ignore_search_term?("ab")
end

test "deprecated accessors leave a source search in the prompt and raise with the replacement" do
  now = boot_game "def tick args; end\n"
  assert_raises(RuntimeError, "Use zoq.schedule_callback TICKCOUNT { BLOCK } instead.") { $zoq.on_tick(5) { } }
  assert_equal "$zoq.grep_source [\".on_tick\", '']", $console.current_input_str
  assert_raises(RuntimeError, "current_framerate_raw has been deprecated") { $zoq.current_framerate_raw }
  refute $zoq.autocomplete_methods.include?(:on_tick)
  assert $zoq.autocomplete_methods.include?(:notify!)
end

test "file wrappers name the failing call; game_directory and cursor commands" do
  now = boot_game "def tick args; end\n"
  assert_raises(RuntimeError, "~$zoq.write_file~ for 5 failed.") { $zoq.write_file 5, "x" }
  assert_raises(RuntimeError, "~$zoq.read_file~ for 7 failed.") { $zoq.read_file 7 }
  assert_equal "game/app/a.txt", $zoq.game_directory("/app/a.txt")
  assert $zoq.cursor_shown?
  $zoq.hide_cursor
  refute $zoq.cursor_shown?
end

test "legacy sounds become audio entries: effects get fresh keys, music one key, queue rules hold" do
  now = boot_game "def tick args\n  args.outputs.sounds << 'hit.wav' << 'song.ogg' << 'skip.mp3' << nil if $push\nend\n"
  $push = true
  host_step now
  host_step now + 20
  $push = false
  # Two ticks: two effects with consecutive keys, the music once, the mp3 dropped.
  assert_equal [:ZOQ_LEGACY_AUDIO_API_SOUND_1, :ZOQ_LEGACY_AUDIO_API_MUSIC, :ZOQ_LEGACY_AUDIO_API_SOUND_2],
               $zoq.audio.keys
  assert_equal({ input: "hit.wav" }, $zoq.audio[:ZOQ_LEGACY_AUDIO_API_SOUND_2])
  assert_equal({ input: "song.ogg", looping: true }, $zoq.audio[:ZOQ_LEGACY_AUDIO_API_MUSIC])
  assert_equal [], $args.outputs.sounds
  $zoq.audio.clear
  # Each step: what to queue, then the music entry it leaves (:none when there is none).
  [[-> { $zoq.queue_music "a.ogg", false }, { input: "a.ogg", looping: false }],
   [-> { assert_equal nil, $zoq.queue_music("a.ogg", true) }, :none],
   [-> { $zoq.stop_music; $zoq.queue_music "a.ogg", true }, { input: "a.ogg", looping: true }],
   [-> { $zoq.queue_music "b.ogg", true; $zoq.stop_music }, :none],
   [-> { $zoq.queue_sound "c.wav" }, :none]].each_with_index do |(queue, music), i|
    $zoq.audio.delete :ZOQ_LEGACY_AUDIO_API_MUSIC
    queue.call
    host_step now + 40 + i * 20
    assert_equal music, $zoq.audio.fetch(:ZOQ_LEGACY_AUDIO_API_MUSIC, :none), "step #{i}"
  end
  assert_equal({ input: "c.wav" }, $zoq.audio[:ZOQ_LEGACY_AUDIO_API_SOUND_3])
  sound = ZOQ::Sound.new(path: "x.wav")
  [[nil, nil], [false, nil], ["y.wav", "y.wav"], [sound, "x.wav"]].each do |value, path|
    parsed = ZOQ::Sound.parse(value)
    assert_equal path, parsed && parsed.path
  end
  assert ZOQ::Sound.parse(sound).equal?(sound)
  assert_equal({ path: "x.wav" }, sound.serialize)
  assert_raises(RuntimeError, "* ERROR: I don't know how to parse 42 into a ZOQ::Sound.") { ZOQ::Sound.parse 42 }
end

test "serialize_state warns above 20000 characters and still writes the file" do
  now = boot_game "def tick args; end\n"
  warning = "The serialized state is longer than 20,000 characters."
  seen = lambda { ($console.log + $console.archived_log).count { |l| l.to_s.include?(warning) } }
  assert_equal "x" * 20000, $zoq.serialize_state("exact.txt", "x" * 20000)
  assert_equal [0, 20000], [seen.call, $zoq.ffi_file.read("exact.txt").length]
  $zoq.serialize_state "big.txt", "y" * 20001
  assert_equal [1, 20001], [seen.call, $zoq.ffi_file.read("big.txt").length]
  assert $console.log.any? { |l| l.include?("State with length of 20001 saved to file big.txt.") }
  # Without a file name only the text is answered.
  assert_equal "[1, 2]", $zoq.serialize_state([1, 2])
end

test "args.click and click_at describe this step's click" do
  now = boot_game "def tick args; $click = args.click; $click_at = args.click_at; end\n"
  now = run_steps now, 3
  $zoq.mouse_move 100, 20
  $zoq.mouse_button_pressed 1
  clicked_at = Kernel.tick_count
  host_step now
  assert_equal [[100, 700], clicked_at], [$click, $click_at]
  host_step now + 20
  assert_equal [nil, nil], [$click, $click_at]
end

test "Strings longer than one literal can hold are saved and load back whole" do
  now = boot_game "def tick args; end\n"
  run_steps now, 2
  # Multi-byte characters and escapes across the places where a long text is cut.
  texts = [65_533, 65_534, 100_001].map { |n| ("é\n\"#\{x}\\" * (n / 9 + 1))[0, n] }
  $args.state.texts = texts
  $args.state.player.note = texts[2]
  assert $zoq.save_state
  state = $zoq.load_state
  assert_rows [[texts, state.texts], [texts[2], state.player.note]]
end

# A class of the game's own without serialize: its inspect text is "#<SaveTestShip:0x...>".
class SaveTestShip
  def initialize
    @hp = 3
  end
end

test "a state whose text would not load back is not saved over the good save, and says which values" do
  now = boot_game "def tick args; end\n"
  run_steps now, 2
  good = "{:entity_id=>1, :score=>1}"
  stamped = lambda { `ls -1 '#{$test_game_dir}'`.split("\n").count { |n| n.start_with?("game_state_") } }
  said = lambda { ($console.log + $console.archived_log).map { |l| l.to_s }.join("\n") }
  [[-> (s) { s.started_at = Time.now }, "started_at (Time)"],
   [-> (s) { s.player.ship = SaveTestShip.new }, "player.ship (SaveTestShip)"],
   [-> (s) { s.fleet = [1, SaveTestShip.new] }, "fleet[1] (SaveTestShip)"],
   [-> (s) { s.scores = { "ada" => Time.now } }, 'scores["ada"] (Time)'],
   [-> (s) { s.boss = s.new_entity_strict(:save_test_boss, born: Time.now) }, "boss.born (Time)"],
   [-> (s) { s.marks = { Time.now => 1 } }, "a key of marks (Time)"],
   [-> (s) { s.times = Array.new(25) { Time.now } }, "times[19] (Time) and 5 more."]].each do |set, named|
    $zoq.ffi_file.write "game_state.txt", good
    $args.state = ZOQ::OpenEntity.new
    $args.state.score = 2
    set.call($args.state)
    before = stamped.call
    assert_equal [false, false], [$zoq.save_state, $zoq.serialize_state("other_state.txt", $args.state)], named
    assert_rows [[good, $zoq.ffi_file.read("game_state.txt")], [before, stamped.call],
                 [false, File.exist?("#{$test_game_dir}/other_state.txt")]]
    assert_includes said.call, "The state could not be saved to game_state_", "could not be saved to other_state.txt.", named
    assert_equal 1, $zoq.load_state.score
  end
  assert_includes on_disk("logs/log.txt"), "started_at (Time)"
  assert_includes said.call, "SaveTestShip does not support serialization"
  # A text that does not parse for another reason is refused with the parser's words.
  assert_equal false, $zoq.serialize_state("other_state.txt", "{")
  assert_includes said.call, "Its text does not read back as Ruby:", "line 1:14: syntax error"
  # A value written by its inspect text that reads back is saved.
  $args.state.span = 1..3
  assert $zoq.save_state
  assert_equal 1..3, $zoq.load_state.span
end

# Last in this file: nil coercion stays off for the rest of the process.
test "disable_nil_coersion! makes nil and false stop answering arithmetic, once" do
  now = boot_game "def tick args; end\n"
  $zoq.disable_nil_coersion!
  [-> { nil + 1 }, -> { false < 2 }].each { |call| assert_raises(Exception) { call.call } }
  refute nil.respond_to?(:frame_index)
  assert_equal nil, $zoq.disable_nil_coersion!
  # A reset leaves it off.
  run_steps now, 2
  $zoq.reset
  assert_raises(Exception) { nil + 1 }
end

test "the background colour: black until the game is ready, then the game's with defaults for what it leaves out" do
  assert_equal [0, 0, 0], new_runtime.args.outputs.background_color
  now = boot_game "def tick args; args.outputs.background_color = $colour if $colour; end\n"
  outputs = $args.outputs
  # Whole numbers (assert_equal compares the classes too); each step starts from the default again.
  [[nil, [230, 230, 230, 255]], [[10, 20], [10, 20, 230, 255]], [[1.9, 2, 3, 4.7], [1, 2, 3, 4]], [nil, [230, 230, 230, 255]]]
    .each_with_index do |(given, shown), i|
    $colour = given
    host_step now + i * 20
    assert_equal shown, outputs.background_color, given.inspect
  end
  # The answer is a copy: changing it changes nothing.
  outputs.background_color[0] = 99
  assert_equal 230, outputs.background_color[0]
end

test "the four file writers land in their folders and append where asked" do
  boot_game "def tick args; end\n"
  assert_equal [true] * 4, [$zoq.write_file("w/a.txt", "a"), $zoq.append_file("w/a.txt", "b"),
                             $zoq.write_file_root("w/r.txt", "r"), $zoq.append_file_root("w/r.txt", "s")]
  assert_equal ["ab", "rs"], [File.read("#{$test_game_dir}/w/a.txt"), File.read("#{$test_base_dir}/w/r.txt")]
  refute File.exist?("#{$test_base_dir}/w/a.txt") || File.exist?("#{$test_game_dir}/w/r.txt")
  assert_raises(RuntimeError, "~$zoq.append_file~ for 5 failed.") { $zoq.append_file 5, "x" }
end

test "a state that cannot be saved says so and answers false" do
  now = boot_game "def tick args; end\n"
  $args.state.score = 3
  # A folder where the file would go, and a path outside the game folder.
  saved = "#{$test_game_dir}/game_state.txt"
  File.delete saved if File.exist?(saved)
  $zoq.ffi_file.write "game_state.txt/blocked", "x"
  assert_equal [false, false], [$zoq.save_state, $zoq.serialize_state("../outside_state.txt", $args.state)]
  said = ($console.log + $console.archived_log).map { |l| l.to_s }
  assert said.any? { |l| l.include?("could not be saved to file game_state.txt") }, said.inspect
  assert said.any? { |l| l.include?("could not be saved to file ../outside_state.txt") }, said.inspect
  refute said.any? { |l| l.include?("saved to file game_state.txt.") || l.include?("saved to file ../outside_state.txt.") }
  assert_includes on_disk("logs/log.txt"), "could not be saved to file game_state.txt"
end
