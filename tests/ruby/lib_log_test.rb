# The log: one message per call to "logs/log.txt", standard output and the console, the
# once-only messages, the formatted INFO and ERROR texts and the coloured forms.

def log_file
  on_disk "logs/log.txt"
end

# Runs the block and answers [what reached the runtime's log, what was added to log.txt].
def logged
  $lib_seen = []
  before = log_file
  begin
    yield
    [$lib_seen, log_file[before.length..-1]]
  ensure
    $lib_seen = nil
  end
end

test "log takes the second argument as the message when there is one" do
  [[["id", "text"], "text"], [["plain"], "plain"], [[nil, "x"], "x"]].each do |args, message|
    assert_equal [[[message, ZOQ::Log]], "#{message}\n"], logged { log(*args) }, args.inspect
  end
end

test "log_once writes its block once, and log_once_info shares the table" do
  seen, file = logged do
    log_once :lib_key, "  first message  "
    log_once :lib_key, "again"
    log_once_info :lib_key, "never"
  end
  assert_equal ["", "first message", "", "[Message ID: lib_key]", ""], seen.map { |obj, _| obj }
  assert_equal "\nfirst message\n\n[Message ID: lib_key]\n\n", file
  seen, file = logged { log_once_info :lib_info_key, "told once"; log_once_info :lib_info_key, "told twice" }
  assert_equal [["* INFO: told once", ZOQ::Log]], seen
  assert ZOQ::Log.logged_once?(:lib_key)
  refute ZOQ::Log.logged_once?(:lib_other)
end

test "log_once sets the console notification unless recording or replaying" do
  notes = $lib_notes = []
  begin
    logged { log_once :lib_note, "m" }
    assert_equal ["Open the Zintarel Console by pressing [`] [~] [²] [^] [º] or [§]. [Message ID: lib_note]."], notes
    $lib_cli = { record: nil }
    logged { log_once :lib_note_2, "m" }
    assert_equal 1, notes.length
  ensure
    $lib_notes = nil
    $lib_cli = nil
  end
end

test "log_error and log_info format one line, a titled block or a whole block" do
  [[-> { log_error "title" }, "* ERROR: title"], [-> { log_error "a", "b" }, "* ERROR: a [\"b\"]"],
   [-> { log_info "note", 5 }, "* INFO: note [5]"], [-> { log_error "first\nsecond" }, "* ERROR: \n  #+BEGIN:\n  first\n  second\n  #+END:"],
   [-> { log_info "title", "x\ny" }, "* INFO: title\n  #+BEGIN:\n  x\n  y\n  #+END:"]].each do |call, text|
    assert_equal [[text, ZOQ::Log]], logged(&call)[0]
  end
end

test "log_important reaches the console whatever the level and raises a notification" do
  notes = $lib_notes = []
  begin
    seen, file = logged { log_important "a", "b" }
    assert_equal [["a", nil], ["b", nil]], seen
    assert_equal "a\nb\n", file
    assert_equal ["Important notification occurred."], notes
  ensure
    $lib_notes = nil
  end
end

test "coloured logs wrap the message in escapes in the file but not in the console" do
  assert_equal [[["alert", ZOQ::Log]], "\e[31malert\n\e[0m"], logged { log_red "alert" }
  assert_equal "\e[36;1mc\n\e[0m", logged { log_bright_cyan "c" }[1]
  assert_equal [[], "no line end"], logged { log_print "no line end" }
end

test "the colour is reset even when the message cannot be logged" do
  $lib_log_error = "console broke"
  before = log_file
  begin
    assert_raises(RuntimeError, "console broke") { log_green "x" }
  ensure
    $lib_log_error = nil
  end
  assert log_file[before.length..-1].end_with?("\e[0m")
end

test "in production nothing is written through the log" do
  $lib_production = true
  begin
    seen, file = logged do
      log "x"
      log_error "y"
      log_important "z"
      log_print "w"
    end
    assert_equal [], seen
    assert_equal "", file
  ensure
    $lib_production = nil
  end
end

test "without a runtime the log prints and writes no file" do
  before = log_file
  saved = $zoq
  $zoq = nil
  begin
    log "printed without a runtime"
    log_info "also printed"
  ensure
    $zoq = saved
  end
  assert_equal before, log_file
end

test "the runtime's own log answers as the low-level log until the runtime defines one" do
  before = log_file
  $zoq.log "low level", ZOQ::Log
  assert_equal before, log_file
  assert_equal nil, Object.new.log("a plain object's log goes through ZOQ::Log")
  assert log_file.end_with?("a plain object's log goes through ZOQ::Log\n")
end

test "the outline helpers" do
  assert_rows [["* T\n  a\n  b", ZOQ::Log.headline("T") { ["a", "b"] }], ["#+BEGIN:\nx\n#+END:\n\n", ZOQ::Log.dynamic_block { "x" }],
               ["", ZOQ::Log.join_lines([])], ["s", ZOQ::Log.join_lines("s")], ["5", ZOQ::Log.join_lines([5])],
               ["a\nb", ZOQ::Log.join_lines(["a", "b"])], [true, ZOQ::Log.multiline?("a", "b")],
               [true, ZOQ::Log.multiline?("a\nb")], [false, ZOQ::Log.multiline?("a")]]
end

test "a production runtime creates no log files and logs nothing" do
  ["logs/log.txt", "logs/puts.txt"].each do |path|
    full = "#{$test_base_dir}/#{path}"
    File.delete full if File.exist?(full)
  end
  saved = [$zoq, $runtime, $args, $state, $console, $recording, $tests, $wizards]
  $zoq = $runtime = $args = $state = $console = $recording = $tests = $wizards = nil
  begin
    ZOQ::Runtime.new("Linux", true, 1280, 720, "./zintarel game", "./zintarel")
    log "not written"
    log_important "nor this"
    puts "printed only"
    assert_rows [[false, File.exist?("#{$test_base_dir}/logs/log.txt")], [false, File.exist?("#{$test_base_dir}/logs/puts.txt")]]
    assert $console.log.include?("printed only")
    refute $console.log.include?("nor this")
  ensure
    $zoq, $runtime, $args, $state, $console, $recording, $tests, $wizards = saved
  end
end
