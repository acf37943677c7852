# The console's prompt: cursor editing on ASCII and multibyte text, word movement, TAB
# completion with its candidate table, and completion over a source text.

def new_prompt text = "", width = 80
  prompt = ZOQ::Console::Prompt.new(font_style: $console.font_style, text_color: $console.text_color,
                                    console_text_width: width)
  prompt.current_input_str = text
  prompt
end

# Runs the operations, each a method name or [name, argument]; answers [text, text before
# the cursor].
def edit text, ops
  prompt = new_prompt text
  ops.each { |op| op.is_a?(Array) ? prompt.__send__(op[0], op[1]) : prompt.__send__(op) }
  [prompt.current_input_str, prompt.current_input_str[0, prompt.cursor_position]]
end

test "editing moves by whole characters on ASCII and multibyte text" do
  [
    ["abc", [:move_cursor_left, [:<<, "X"]], ["abXc", "abX"]],
    ["abc", [:move_cursor_home, :delete], ["bc", ""]],
    ["abc", [:backspace, :backspace], ["a", "a"]],
    ["abc", [:delete], ["abc", "abc"]],
    ["abc", [:move_cursor_home, :backspace], ["abc", ""]],
    ["", [:backspace, :delete, :move_cursor_left, :move_cursor_right], ["", ""]],
    ["héllo", [:move_cursor_home, :move_cursor_right, :move_cursor_right, [:<<, "!"]], ["hé!llo", "hé!"]],
    ["日本語", [:backspace], ["日本", "日本"]],
    ["日本語", [:move_cursor_left, :move_cursor_left, :backspace], ["本語", ""]],
    ["日本語", [:move_cursor_home, :delete], ["本語", ""]],
    ["a😀b", [:move_cursor_left, :move_cursor_left, [:<<, "-"]], ["a-😀b", "a-"]],
    ["a😀b", [:move_cursor_left, :backspace], ["ab", "a"]],
    ["é", [:move_cursor_end, :move_cursor_left, :move_cursor_right], ["é", "é"]]
  ].each do |text, ops, expected|
    assert_equal expected, edit(text, ops), "#{text} #{ops.inspect}"
  end
end

test "word movement stops at word boundaries and never inside a character" do
  [
    ["foo bar", [:move_cursor_left_word], "foo "],
    ["foo bar", [:move_cursor_left_word, :move_cursor_left_word], "foo"],
    ["foo bar", [:move_cursor_left_word, :move_cursor_left_word, :move_cursor_left_word], ""],
    ["foo bar", [:move_cursor_home, :move_cursor_right_word], "foo"],
    ["foo bar", [:move_cursor_home, :move_cursor_right_word, :move_cursor_right_word], "foo bar"],
    ["args.state.x", [:move_cursor_left_word], "args.state."],
    ["über straße", [:move_cursor_left_word], "über "],
    ["über straße", [:move_cursor_home, :move_cursor_right_word], "über"],
    ["日本 語", [:move_cursor_home, :move_cursor_right_word], "日本"],
    ["日本 語", [:move_cursor_home, :move_cursor_right_word, :move_cursor_right_word], "日本 語"]
  ].each do |text, ops, before_cursor|
    assert_equal before_cursor, edit(text, ops)[1], "#{text} #{ops.inspect}"
  end
end

test "keys edit the prompt of the open console, and paste inserts the clipboard" do
  now = boot_game "def tick args; end\n"
  $console.show
  k = ZOQ::KeyboardKeys
  [[:text, "héllo wörld"], [:key, k::SDLK_LEFT, k::KMOD_CTRL], [:key, k::SDLK_LEFT], [:key, 8], [:text, "_"],
   [:key, k::SDLK_HOME], [:key, 127], [:key, k::SDLK_END], [:key, 118, k::KMOD_CTRL]].each_with_index do |(kind, a, b), i|
    if kind == :text
      $zoq.textinput a
    else
      $zoq.key_down_raw a, b || 0
    end
    host_step now
    $zoq.key_up_raw a, b || 0 if kind == :key
    host_step now + 20
    now += 40
  end
  assert_equal "éll_ wörld" + $zoq.ffi_misc.getclipboard, $console.current_input_str
  assert_equal String, $zoq.ffi_misc.getclipboard.class
end

test "TAB lists the candidates once, then cycles through them" do
  now = boot_game "def tick args; end\n"
  prompt = new_prompt "args.inp"
  prompt.autocomplete
  table = $console.log.index("* AUTOCOMPLETE CANDIDATES: args.inp..")
  assert table, $console.log.inspect
  assert_equal ["+--------+", "| inputs |", "+--------+"], $console.log[(table + 1)..-1]
  assert_equal "args.inp", prompt.current_input_str
  prompt.autocomplete
  assert_equal "args.inputs", prompt.current_input_str
  prompt.autocomplete
  assert_equal "args.inputs", prompt.current_input_str
  prompt = new_prompt "args.s"
  prompt.autocomplete
  prompt.autocomplete
  assert_equal "args.state", prompt.current_input_str
  prompt << "."
  prompt.autocomplete
  $state.console_tab_value = 5
  $state.console_tab_value
  prompt.autocomplete
  assert prompt.current_input_str.start_with?("args.state."), prompt.current_input_str
  prompt = new_prompt "args.state.console_tab_val"
  prompt.autocomplete
  cycled = (0...3).map { prompt.autocomplete; prompt.current_input_str }
  assert_equal ["args.state.console_tab_value", "args.state.console_tab_value = "], cycled[0, 2].sort
  assert_equal cycled[0], cycled[2], "the cycle starts over"
end

test "a failing completion prints the bug text and leaves the prompt alone" do
  boot_game "def tick args; end\n"
  prompt = new_prompt "raise('inside completion').x"
  prompt.autocomplete
  assert $console.log.any? { |l| l.start_with?("* BUG: Tab autocompletion failed.") }, $console.log.inspect
  assert_equal "raise('inside completion').x", prompt.current_input_str
end

test "the candidate table fills the console's width, and a narrow console still gets one column" do
  boot_game "def tick args; end\n"
  [[[], 80, ["+--------+", "| (none) |", "+--------+"]],
   [["ab", "c"], 80, ["+----+----+", "| ab |  c |", "+----+----+"]],
   [["abc", "d", "ef"], 14, ["+-----+-----+", "| abc |   d |", "+-----+-----+", "|  ef |     |", "+-----+-----+"]],
   [["long_name", "x"], 3, ["+-----------+", "| long_name |", "+-----------+", "|         x |", "+-----------+"]]
  ].each do |items, width, lines|
    $console.clear
    new_prompt("", width).pretty_print_strings_as_table items
    assert_equal lines, $console.log, items.inspect
  end
end

test "completion over a source text: after a period, words elsewhere, nested state by its keys" do
  boot_game "def tick args; end\n"
  $state.player.hp = 10
  $state.player.weapon.name = "sword"
  suggest = lambda { |text, index| $zoq.suggest_autocompletion(text: text, index: index) }
  assert_equal $zoq.autocomplete_filter_methods($args.inputs.autocomplete_methods), suggest.call("args.inputs.", 12)
  assert_includes suggest.call("x = 1\ny = 2\n  foo args.", 23), "inputs", "state"
  assert_equal ["a", "foo", "bar"], suggest.call("a = 1\nfoo.bar(a)", 16)
  assert_rows [
    [[], suggest.call("# args.", 7)],
    [[], suggest.call("", 0)],
    [["hp", "weapon"], suggest.call("args.state.player.", 18)],
    [["name"], suggest.call("args.state.player.weapon.", 25)],
    [[], suggest.call("args.state.player.hp.", 21)],
    [[], suggest.call("args.state.nobody.here.", 23)]
  ]
  FFI::File.new.write "app/complete_me.rb", "alpha = beta\n"
  assert_equal ["alpha", "beta"], $zoq.suggest_autocompletion(file: "app/complete_me.rb", index: 3)
  assert_equal ["x", "y", "true"], $zoq.autocomplete_filter_methods([:x, "1", :y, :x, "true", "def", :entity_id, "-2"])
end
