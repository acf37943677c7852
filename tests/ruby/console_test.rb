# The developer console in a running game: keys and text go in through the runtime's bridge
# callbacks and the host's steps, the way the host delivers them.

BACKTICK = 96
ENTER = 13
ESCAPE = 27
KEY_A = 97

# One step with the given events first: [:down, code, mod], [:up, code, mod] or [:text, s].
def step_with now, *events
  events.each do |kind, a, b|
    case kind
    when :down then $zoq.key_down_raw a, b || 0
    when :up then $zoq.key_up_raw a, b || 0
    when :text then $zoq.textinput a
    end
  end
  host_step now
  now + 20
end

# Presses and releases a key over two steps.
def tap_key now, code, mod = 0
  now = step_with now, [:down, code, mod]
  step_with now, [:up, code, mod]
end

# Types a line at the prompt and presses ENTER.
def type_line now, text
  now = step_with now, [:text, text]
  tap_key now, ENTER
end

def console_lines
  $console.archived_log + $console.log
end

test "the toggle keys open and close the console and neither they nor typing reach the game" do
  now = boot_game "def tick args\n  $seen ||= []\n  kb = args.inputs.keyboard\n  $seen.concat kb.key_down.truthy_keys + kb.key_up.truthy_keys + kb.key_held.truthy_keys\n  $seen.concat args.inputs.text\nend\n"
  now = step_with now, [:down, BACKTICK], [:text, "`"]
  assert $console.visible?
  now = step_with now, [:up, BACKTICK]
  now = step_with now, [:down, KEY_A], [:text, "a"]
  now = step_with now, [:up, KEY_A]
  now = step_with now, [:down, BACKTICK], [:text, "`"]
  refute $console.visible?
  now = step_with now, [:up, BACKTICK]
  assert_equal [], $seen
  assert_equal "a", $console.current_input_str
  now = step_with now, [:down, KEY_A], [:text, "a"]
  assert_equal [:a, "a"], $seen
end

test "quick taps, pressed and released between two steps, each count once" do
  now = boot_game "def tick args; end\n"
  [[[[:down, BACKTICK], [:text, "`"], [:up, BACKTICK]], true, ""],
   [[[:text, "1 + 1"], [:down, ENTER], [:up, ENTER]], true, ""],
   [[[:text, "2 + 2"], [:down, ENTER], [:up, ENTER]], true, ""],
   [[[:text, "abc"], [:down, ESCAPE], [:up, ESCAPE]], true, ""],
   [[[:down, BACKTICK], [:text, "`"], [:up, BACKTICK]], false, ""]].each_with_index do |(events, visible, prompt), i|
    now = step_with now, *events
    now = step_with now
    assert_equal [visible, prompt], [$console.visible?, $console.current_input_str], "tap #{i}"
  end
  assert_equal ["-> 1 + 1", "=> 2", "-> 2 + 2", "=> 4"], console_lines.select { |l| l.start_with?("->", "=>") }
end

test "typed commands print their input and result, and errors leave the console working" do
  now = boot_game "def tick args; end\n"
  $console.show
  [["1 + 1", ["-> 1 + 1", "=> 2"]],
   ["nil", ["-> nil", "=> nil"]],
   ["[1, 2].length # a trailing comment", ["-> [1, 2].length # a trailing comment", "=> 2"]],
   ["1 +", ["-> 1 +", "* EXCEPTION: "]],
   ["raise 'broken on purpose'", ["-> raise 'broken on purpose'", "* EXCEPTION: broken on purpose"]],
   ["undefined_thing_here", ["-> undefined_thing_here", "* EXCEPTION: "]],
   # An exception whose text raises is still shown, by its class and what it holds.
   ["class NoText < StandardError; def to_s; raise 'no text'; end; end; raise NoText, 'held'",
    ["-> class NoText < StandardError; def to_s; raise 'no text'; end; end; raise NoText, 'held'",
     "* EXCEPTION: NoText: held (its message raised RuntimeError: no text)"]],
   ["  6 * 7  ", ["-> 6 * 7", "=> 42"]],
   # What a command defines, the next one can call, as a top-level def of a game file.
   ["def console_triple(x) x * 3 end", ["-> def console_triple(x) x * 3 end", "=> console_triple"]],
   ["console_triple 2", ["-> console_triple 2", "=> 6"]],
   ["Kernel.console_triple 3", ["-> Kernel.console_triple 3", "=> 9"]]].each do |typed, expected|
    before = $console.log.length
    now = type_line now, typed
    added = $console.log[before..-1]
    assert_equal expected[0], added[0], typed
    assert added.any? { |line| line.start_with?(expected[1]) }, "#{typed}: #{added.inspect}"
    assert_equal expected[1].start_with?("*"), $console.last_command_errored, typed
    assert $console.visible? && !$console.disabled?, typed
  end
  before = console_lines.length
  now = type_line now, "clear"
  assert_equal [], console_lines, "clear prints nothing, not even its result: #{console_lines.inspect}"
  refute $zoq.quit_requested?
  now = type_line now, ":wq"
  assert $zoq.quit_requested?
end

test "an arity error at the prompt shows the documentation of the method the interpreter names" do
  now = boot_game "def tick args; end\n"
  $console.show
  [["5.elapsed_time(1, 2, 3)", "elapsed_time"], ["[1].reject_nil(1, 2)", "reject_nil"], ["1.clamp(1, 2, 3, 4, 5)", nil],
   ["raise ArgumentError, 'wrong number of arguments'", nil]].each do |typed, documented|
    $console.clear
    now = type_line now, typed
    hint = $console.log.find { |line| line.include?("found in DOCS for") }
    assert_equal documented && "~#{documented}~", hint && hint[(hint.index("~"))..-1].split(" ")[0], typed
    assert $console.log.any? { |line| line.start_with?("* EXCEPTION: ") }, typed
  end
end

test "printing the same text again counts it on the entry already shown" do
  boot_game "def tick args; end\n"
  [[["hello"] * 3, ["hello (3)"]],
   [["a\nb", "a\nb"], ["a", "b (2)"]],
   [["x", "y", "x"], ["x", "y", "x"]],
   [["", ""], [" (2)"]]].each do |texts, tail|
    $console.clear
    texts.each { |t| $console.add_text t }
    assert_equal tail, $console.log, texts.inspect
  end
end

test "a repeat after hide, clear or a sprite is a new entry and raises nothing" do
  boot_game "def tick args; end\n"
  [-> { $console.show; $console.hide }, -> { $console.clear }, -> { $console.add_sprite({ path: "p.png", w: 4, h: 4 }) }].each_with_index do |between, i|
    $console.clear
    $console.add_text "hello"
    between.call
    $console.add_text "hello"
    assert_equal "hello", $console.log[-1], "case #{i}"
    $console.add_text "hello"
    assert_equal "hello (2)", $console.log[-1], "case #{i}"
  end
end

test "every line of a wrapped entry is drawn in the colour of the whole entry" do
  now = boot_game "def tick args; end\n"
  width = $console.prompt.console_text_width
  words = ("word " * width).strip
  $console.show
  now = run_steps now, 70
  [["error: #{words}", [200, 50, 50]], ["#{words} failed", [200, 50, 50]], ["* heading #{words}", [100, 200, 220]],
   [words, [255, 255, 255]]].each do |text, rgb|
    $console.clear
    $console.add_text text
    $console.add_text text
    now = run_steps now, 1
    drawn = $args.outputs.reserved.select { |p| p[:primitive_marker] == :label && $console.log.include?(p[:text]) }
    assert $console.log.length > 1 && $console.log[-1].end_with?(" (2)"), $console.log.inspect
    assert_equal [rgb] * $console.log.length, drawn.map { |p| [p[:r], p[:g], p[:b]] }, text[0, 12]
  end
end

test "the log keeps its newest lines and hide moves them to the archive" do
  boot_game "def tick args; end\n"
  $console.clear
  1100.times { |i| $console.add_text "line #{i}" }
  assert_equal 1001, $console.log.length
  assert_equal "line 1099", $console.log[-1]
  $console.show
  $console.hide
  assert_equal [], $console.log
  assert_equal 1000, $console.archived_log.length
  assert_equal "line 1099", $console.archived_log[-1]
end

test "history survives a restart, keeping the newest commands when the file holds more than the limit" do
  lines = (0...1005).map { |i| "cmd #{i}" } + ["cmd 1004", "\r", "cmd 7\r"]
  FFI::File.new.write_root "console_history.txt", lines.join("\n") + "\n"
  now = boot_game "def tick args; end\n"
  history = $console.history
  assert_equal 1000, history.length
  assert_equal ["cmd 7", "cmd 1004", "cmd 1003"], history[0, 3]
  assert_equal "cmd 5", history[-1]
  refute history.include?("cmd 4"), "the oldest commands give way"
  $console.show
  now = type_line now, "1 + 2"
  assert_equal "1 + 2", $console.history[0]
  assert_equal 1000, $console.history.length
  $zoq.quit!
  saved = on_disk("console_history.txt").split("\n")
  assert_equal ["cmd 1004", "cmd 7", "1 + 2"], saved[-3, 3]
  assert_equal 1000, saved.length
  new_runtime
  assert_equal saved.reverse, $console.history
end

test "UP and DOWN browse the history and bring the unfinished input back" do
  FFI::File.new.write_root "console_history.txt", "older\nnewest"
  now = boot_game "def tick args; end\n"
  $console.show
  now = step_with now, [:text, "abc"]
  [[ZOQ::KeyboardKeys::SDLK_UP, "newest"], [ZOQ::KeyboardKeys::SDLK_UP, "older"], [ZOQ::KeyboardKeys::SDLK_UP, "older"],
   [ZOQ::KeyboardKeys::SDLK_DOWN, "newest"], [ZOQ::KeyboardKeys::SDLK_DOWN, "abc"]].each_with_index do |(key, text), i|
    now = tap_key now, key
    assert_equal text, $console.current_input_str, "press #{i}"
  end
end

test "two commands set in one tick: the first stays in the prompt, both reach the history" do
  boot_game "def tick args; end\n"
  $console.set_command "first"
  $console.set_command "second"
  assert_equal "first", $console.current_input_str
  assert_equal ["first", "second"], $console.history[-2, 2]
  assert $console.visible?
end

test "a file or an address is opened with this platform's own command" do
  boot_game "def tick args; end\n"
  $console.set_system_command "docs/docs.html"
  assert_equal "$zoq.system \"xdg-open docs/docs.html\"", $console.current_input_str
end

test "a toast opens the console for a while and leaves the hide command in the prompt" do
  now = boot_game "def tick args; end\n"
  $console.toast :console_test_toast, "x"
  assert $console.visible?
  assert_equal "$zoq.console.hide", $console.current_input_str
  $console.toast :console_test_toast, "again"
  assert_equal 1, $console.log.count { |l| l.include?("* toast :console_test_toast") }
  now = run_steps now, 355
  assert $console.visible?
  now = run_steps now, 10
  refute $console.visible?
  assert_raises(RuntimeError, "args.zoq.console.toast has the following signature") { $console.toast "text id" }
end

test "the open console draws its panel, the prompt and the newest lines over the game" do
  now = boot_game "def tick args; end\n"
  $console.add_text "drawn line"
  $console.show
  now = run_steps now, 70
  reserved = $args.outputs.reserved
  panel = reserved.find { |p| p[:primitive_marker] == :solid && p[:w] == 1280 }
  assert panel, reserved.inspect
  assert_equal [0, 224, 0], [panel[:y].to_i, panel[:a], panel[:x]]
  texts = reserved.select { |p| p[:primitive_marker] == :label }.map { |p| p[:text] }
  assert_includes texts, "-> ", "drawn line", "Console ready."
end

test "an exception in the tick opens the console with its message, and a fixed file resumes the game" do
  now = boot_game "def tick args\n  raise 'boom in tick' if args.tick_count == 2\n  $ticks = args.tick_count\nend\n"
  now = run_steps now, 70
  assert $zoq.paused? && $console.visible?
  drawn = $args.outputs.reserved.select { |p| p[:primitive_marker] == :label }
  line = drawn.find { |p| p[:text].to_s.include?("* EXCEPTION: boom in tick") }
  assert line, drawn.map { |p| p[:text] }.inspect
  assert_equal [200, 50, 50], [line[:r], line[:g], line[:b]]
  FFI::File.new.write "app/main.rb", "def tick args\n  $ticks = args.tick_count\nend\n"
  Kernel.global_tick_count += 100
  assert $zoq.reload_ruby_file("app/main.rb")
  now = run_steps now, 3
  refute $zoq.paused? || $console.visible?
  assert $ticks > 2
end

test "a main.rb that does not parse opens the console before the game is ready" do
  FFI::File.new.write "app/main.rb", "def tick args\n  [1, 2\nend\n"
  new_runtime
  now = run_steps 1000, 70
  assert_equal :main_rb_first_time_load, $zoq.load_status
  texts = $args.outputs.reserved.select { |p| p[:primitive_marker] == :label }.map { |p| p[:text] }
  assert texts.any? { |t| t.include?("Failed to reload app/main.rb.") }, texts.inspect
  assert $console.slide_progress > 0.99
  FFI::File.new.write "app/main.rb", "def tick args\n  $fixed = true\nend\n"
  assert $zoq.reload_ruby_file("app/main.rb")
  now = run_steps now, 3
  assert_equal :ready, $zoq.load_status
  assert $fixed
  refute $console.visible?
end

class ConsoleTestBrokenText
  def to_s
    raise "no text for this one"
  end
end

test "a failing console disables itself and says so on standard output and in its log" do
  now = boot_game "def tick args; end\n"
  $console.show
  $console.log << ConsoleTestBrokenText.new
  now = run_steps now, 3
  assert $console.disabled?
  assert console_lines.any? { |l| l.is_a?(String) && l.include?("* FATAL: The ZOQ::Console console threw an unhandled exception") }
end

test "PAGEUP and the wheel scroll the log, and the menu's buttons close the console" do
  now = boot_game "def tick args; end\n"
  200.times { |i| $console.add_text "scroll line #{i}" }
  $console.show
  now = run_steps now, 70
  now = tap_key now, ZOQ::KeyboardKeys::SDLK_PAGEUP
  page = ((720 - 4) / $console.font_style.line_height_px).to_i
  labels = lambda { $args.outputs.reserved.select { |p| p[:primitive_marker] == :label }.map { |p| p[:text] } }
  assert_includes labels.call, "[#{page}/#{$console.log.length}]", "scroll line #{199 - page}"
  refute labels.call.include?("scroll line 199")
  $zoq.mouse_wheel 0, 1
  now = run_steps now, 20
  assert_includes labels.call, "[#{page - 13}/#{$console.log.length}]"
  [[1105, 690], [1000, 690]].each do |x, y|
    $zoq.mouse_move x, 720 - y
    $zoq.mouse_button_pressed 1
    now = step_with now
    $zoq.mouse_button_up 1
    now = step_with now
  end
  refute $console.visible?, "show menu, then close console"
end
