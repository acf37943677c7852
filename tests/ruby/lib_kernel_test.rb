# The frame counters, puts and its every-n-ticks forms, and Kernel's documentation.

# Records what reaches the runtime's low-level log (standard output and the console).
def capture_runtime_log
  $lib_seen = []
  yield $lib_seen
ensure
  $lib_seen = nil
end

test "both counters answer -1 before the runtime sets them, and keep what is set" do
  assert_equal [-1, -1], [Kernel.tick_count, Kernel.global_tick_count]
  Kernel.tick_count = 12
  Kernel.global_tick_count = 40
  assert_equal [12, 40], [Kernel.tick_count, Kernel.global_tick_count]
  Kernel.tick_count = -1
  Kernel.global_tick_count = -1
end

test "puts hands each argument to the runtime's log and appends them to logs/puts.txt" do
  before = on_disk("logs/puts.txt")
  capture_runtime_log do |seen|
    assert_equal nil, puts("one", 2)
    assert_equal [["one", nil], [2, nil]], seen
  end
  assert_equal before + "one\n2\n", on_disk("logs/puts.txt")
  # A class is written in the text form that the core puts prints.
  capture_runtime_log { |seen| puts Float, [1, [2]] }
  assert_equal before + "one\n2\n" + Float.to_s + "\n1\n2\n", on_disk("logs/puts.txt")
end

test "in production puts still reaches the log but not the file; without a runtime it is the core one" do
  before = on_disk("logs/puts.txt")
  $lib_production = true
  begin
    capture_runtime_log do |seen|
      puts "quiet"
      assert_equal [["quiet", nil]], seen
    end
  ensure
    $lib_production = nil
  end
  saved = $zoq
  $zoq = nil
  begin
    assert_equal nil, puts("core puts line")
  ensure
    $zoq = saved
  end
  assert_equal before, on_disk("logs/puts.txt")
end

test "puts6, puts60 and puts600 print only on ticks divisible by 6, 60 or 600" do
  printed = []
  capture_runtime_log do |seen|
    [-1, 0, 1, 6, 59, 60, 61, 120, 600].each do |tick|
      at_tick(tick) do
        puts6 "six #{tick}"
        puts60 "sixty #{tick}"
        puts600 "six hundred #{tick}"
      end
    end
    printed = seen.map { |obj, _| obj }
  end
  assert_equal ["six 0", "sixty 0", "six hundred 0", "six 6", "six 60", "sixty 60", "six 120", "sixty 120",
                "six 600", "sixty 600", "six hundred 600"], printed
  at_tick(7) { assert_equal nil, puts60("x") }
end

test "while tracing, puts also fills the trace buffer, indented by depth" do
  $trace_enabled = true
  $trace_call_depth = 1
  $trace_puts = []
  begin
    capture_runtime_log { |seen| puts "a", "b" }
    assert_equal ["\n", "        a\n        b"], $trace_puts
    capture_runtime_log { |seen| puts Float }
    assert_equal "        #{Float.to_s}", $trace_puts.last
  ensure
    $trace_enabled = nil
    $trace_call_depth = nil
    $trace_puts = nil
  end
end

test "Kernel.const_defined? suggests Module.const_defined? once when only that finds the name" do
  refute ZOQ::Log.logged_once?(:did_you_mean_module_const_defined?)
  assert_equal false, Kernel.const_defined?(:NoSuchConstantAnywhere)
  refute ZOQ::Log.logged_once?(:did_you_mean_module_const_defined?)
  before = on_disk("logs/log.txt")
  capture_runtime_log do |seen|
    assert_equal [false, false], [Kernel.const_defined?(:String), Kernel.const_defined?(:String)]
    assert_includes seen.map { |obj, _| obj }.join("\n"), "instead of instead of\n~Kernel::const_defined?~.",
                    "* INFO: Did you mean to call ~Module::const_defined?~\n~Kernel::const_defined?~ was invoked with value ~String~ and\nreturned ~false~"
  end
  assert ZOQ::Log.logged_once?(:did_you_mean_module_const_defined?)
  assert_equal 1, (on_disk("logs/log.txt")[before.length..-1]).split("did_you_mean_module_const_defined?").length - 1
end

test "the documentation is searched and exported as text" do
  assert_equal "\n* DOCS: No results found.", Kernel.docs_search("a an")
  assert_includes Kernel.docs_search("frame_index") + Kernel.docs_search + Kernel.docs_search { |entry| entry.include?("map_2d") },
                  "* DOCS: ~Numeric#frame_index~", "* DOCS: How To Search The Docs", "Array#map_2d"
  Kernel.export_docs!
  exported = on_disk("docs/docs.txt")
  assert exported.include?("* DOCS: ~Kernel::tick_count~")
  assert exported.index("~Array~") < exported.index("~Numeric#frame_index~")
end
