# Method tracing in the interpreter the games use: the call tree written to logs/trace.txt,
# what traced methods pass on, untracing, and the limits on memory and the file.

class Walker
  attr_accessor :name, :log

  def initialize
    @log = []
  end

  def walk a, b
    step(a + b) + 1
  end

  def step n
    n * 2
  end

  def slow
    usleep 30_000
    :done
  end

  def boom
    raise "fell over"
  end

  def guarded
    boom
  rescue
    :caught
  end

  def with_block x, scale: 1, &block
    [x * scale, block ? block.call(x) : nil]
  end

  def keep h
    h
  end

  def kw_only k: 0
    k
  end

  # An argument's text that calls traced methods must not trace them again.
  def inspect
    "#<Walker #{label}>"
  end

  def label
    "w"
  end

  def pair other
    other.label
  end
end

def trace_text
  ZOQ::Trace.flush_trace
  on_disk "logs/trace.txt"
end

def fresh_trace
  ZOQ::Trace.untrace_classes!
  $trace_puts = []
end

test "a traced call tree: nesting, arguments, timings, slow calls and failures" do
  fresh_trace
  w = Walker.new
  ZOQ::Trace.trace! w
  ZOQ::Trace.trace! w # a class is traced once
  assert_equal [Walker], ZOQ::Trace.traced_classes
  assert_equal 11, w.walk(2, 3)
  assert_equal :done, w.slow
  assert_equal :caught, w.guarded
  text = trace_text
  assert_includes text, "Tracing walk on Walker.\n", "Tracing step on Walker.\n",
                  "\n  walk(2, 3)\n          step(5)\n         ", "ms success: step\n ", "ms success: walk\n",
                  "\n  slow()\n  !!! ", "ms success: slow", "\n  guarded()\n          boom()\n          failed: boom",
                  "(Trace info flushed!)", "Walker#walk: ", "ms max"
  refute text.include?("Tracing inspect") || text.include?("Tracing initialize")
  assert_equal 1, text.split("Tracing walk on").length - 1
  # One success line per call that returned, each timing a number of milliseconds.
  assert_equal 4, text.split("ms success:").length - 1
  assert_equal [:__trace_original_boom__, []], [$last_method_traced, $trace_history]
  times = $trace_performance["Walker#step"]
  assert_equal [1, true], [times[:count], times[:min] <= times[:max]]
  assert $trace_performance["Walker#slow"][:min] >= 30, $trace_performance.inspect
end

test "traced methods pass blocks, keywords and Hash arguments on, and the tracer does not trace itself" do
  fresh_trace
  w = Walker.new
  ZOQ::Trace.trace! w
  assert_rows [
    [[6, 4], w.with_block(3, scale: 2) { |x| x + 1 }],
    [[3, nil], w.with_block(3)],
    [{ a: 1 }, w.keep({ a: 1 })],
    [{ b: 2 }, w.keep(b: 2)],
    [7, w.kw_only(k: 7)],
    ["w", w.pair(Walker.new)]
  ]
  text = trace_text
  # pair's argument is shown through inspect, which calls label: that call is not traced.
  assert_includes text, "\n  pair(#<Walker w>)\n          label()\n"
  assert_equal 1, text.split("label()").length - 1
  assert_includes text, "with_block(3, {:scale=>2})"
end

test "untracing restores each method, keeps one redefined while traced, and leaves only the hint" do
  fresh_trace
  w = Walker.new
  ZOQ::Trace.trace! w
  w.walk 1, 1
  Walker.class_eval { def step n; n * 3; end }
  ZOQ::Trace.untrace_classes!
  assert_equal [10, :done], [w.walk(1, 2), w.slow]
  assert_rows [
    [false, Walker.method_defined?(:__trace_call_depth__)],
    [[], ZOQ::Trace.traced_classes],
    [nil, $last_method_traced],
    [false, $trace_enabled],
    [ZOQ::Trace::HINT, on_disk("logs/trace.txt")],
    [:jump, ZOQ::Trace.original_method_name_for(:__trace_original_jump__)],
    [:jump, ZOQ::Trace.original_method_name_for(:jump)],
    [:__trace_original_jump__, ZOQ::Trace.trace_method_name_for(:jump)],
    [[:walk], ZOQ::Trace.filter_methods_to_trace([:__trace_original_walk__, :walk, :tick, :inspect, :puts])]
  ]
  Walker.class_eval { def step n; n * 2; end }
  # Traced again afterwards, the class is wrapped afresh.
  ZOQ::Trace.trace! w
  w.step 4
  assert_includes trace_text, "\n  step(4)"
  ZOQ::Trace.untrace_classes!
end

test "an exception from a traced method names it and its call stack in the report" do
  fresh_trace
  w = Walker.new
  ZOQ::Trace.trace! w
  error = assert_raises(RuntimeError, "fell over") { w.boom }
  $lib_seen = []
  text = $zoq.__pretty_print_exception__ error, nil
  logged = $lib_seen.map { |obj, _| obj.to_s }
  $lib_seen = nil
  assert_includes text, "* ERROR:\n", "** Method: boom\n** Call Stack:\n*** boom()"
  assert logged.any? { |t| t.include?("Trace data exported to logs/trace.txt.") }, logged.inspect
  assert_includes on_disk("logs/trace.txt"), "failed: boom", "fell over"
  ZOQ::Trace.untrace_classes!
end

test "10,000 traced calls keep the buffer and logs/trace.txt within their limits, newest calls kept" do
  fresh_trace
  w = Walker.new
  ZOQ::Trace.trace! w
  long = "x" * 200
  largest = 0
  10_000.times do |i|
    w.keep "#{i} #{long}"
    largest = $trace_puts.length if $trace_puts.length > largest
  end
  text = trace_text
  assert largest < ZOQ::Trace::BUFFER_PIECES, largest.to_s
  assert text.length <= ZOQ::Trace::FILE_MAX, text.length.to_s
  assert text.length > ZOQ::Trace::FILE_MAX / 2, text.length.to_s
  assert_includes text, "(Older trace lines were dropped", "keep(\"9999 xxx", "Walker#keep: "
  refute text.include?("keep(\"0 xxx")
  # An argument's text is cut short.
  w.keep "y" * 5000
  assert_includes trace_text, "keep(\"#{"y" * (ZOQ::Trace::PARAMETERS_MAX - 1)}...)"
  ZOQ::Trace.untrace_classes!
end

test "trace! at the top of every tick keeps the file within its limit" do
  fresh_trace
  now = boot_game "def tick args; trace!($walker); $walker.walk 1, 2; end\n"
  $walker = Walker.new
  def ($zoq).log obj, sender = nil; end # the flushed notes would fill the output
  now = run_steps now, 5000
  text = on_disk "logs/trace.txt"
  assert text.length <= ZOQ::Trace::FILE_MAX && text.length > 0, text.length.to_s
  assert_includes text, "walk(1, 2)"
  ZOQ::Trace.untrace_classes!
end
