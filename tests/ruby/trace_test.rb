# Method tracing in the interpreter the games use: the call tree written to logs/trace.txt,
# what traced methods pass on, untracing, and the limits on memory and the file.

class Walker
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

def traced_walker
  ZOQ::Trace.untrace_classes!
  $trace_puts = []
  w = Walker.new
  ZOQ::Trace.trace! w
  w
end

test "a traced call tree: nesting, arguments, timings, slow calls and failures" do
  w = traced_walker
  ZOQ::Trace.trace! w # a class is traced once
  assert_equal [Walker], ZOQ::Trace.traced_classes
  assert_equal [11, :done, :caught], [w.walk(2, 3), w.slow, w.guarded]
  text = trace_text
  assert_includes text, "Tracing walk on Walker.\n", "\n  walk(2, 3)\n          step(5)\n          ", "ms success: step\n  ",
                  "ms success: walk\n", "\n  slow()\n  !!! ", "\n  guarded()\n          boom()\n          failed: boom",
                  "(Trace info flushed!)", "Walker#walk: ", "ms max"
  refute text.include?("Tracing inspect")
  assert_equal [1, 4], [text.split("Tracing walk on").length - 1, text.split("ms success:").length - 1]
  assert_equal [:__trace_original_boom__, []], [$last_method_traced, $trace_history]
  assert $trace_performance["Walker#slow"][:min] >= 30, $trace_performance.inspect
  # Each method's timing record: calls counted, the least and the most taken at least once.
  w.walk 1, 1
  [["Walker#walk", 2], ["Walker#step", 2], ["Walker#slow", 1]].each do |key, calls|
    times = $trace_performance[key]
    assert_equal [calls, true, true], [times[:count], times[:min] <= times[:avg], times[:avg] <= times[:max]], key
    assert_equal times[:sum], times[:min] + times[:max], key if calls == 2
  end
end

test "traced methods pass blocks, keywords and Hash arguments on, and the tracer does not trace itself" do
  w = traced_walker
  assert_rows [
    [[6, 4], w.with_block(3, scale: 2) { |x| x + 1 }],
    [[3, nil], w.with_block(3)],
    [{ a: 1 }, w.keep({ a: 1 })],
    [{ b: 2 }, w.keep(b: 2)],
    [7, w.kw_only(k: 7)],
    [0, w.kw_only],
    ["w", w.pair(Walker.new)]
  ]
  # pair's argument is shown through inspect, which calls label: that call is not traced.
  text = trace_text
  assert_includes text, "\n  pair(#<Walker w>)\n          label()\n", "with_block(3, {:scale=>2})"
  assert_equal 1, text.split("label()").length - 1
end

test "untracing restores each method and keeps one redefined while traced; a failure names the method" do
  w = traced_walker
  error = assert_raises(RuntimeError, "fell over") { w.boom }
  $lib_seen = []
  text = $zoq.__pretty_print_exception__ error, nil
  logged = $lib_seen.map { |obj, _| obj.to_s }
  $lib_seen = nil
  assert_includes text, "** Method: boom\n** Call Stack:\n*** boom()"
  assert logged.any? { |t| t.include?("Trace data exported to logs/trace.txt.") }, logged.inspect
  assert_includes on_disk("logs/trace.txt"), "failed: boom", "fell over"
  Walker.class_eval { def step n; n * 3; end }
  ZOQ::Trace.untrace_classes!
  assert_rows [
    [10, w.walk(1, 2)],
    [false, Walker.method_defined?(:__trace_call_depth__)],
    [[nil, false], [$last_method_traced, $trace_enabled]],
    [[], ZOQ::Trace.traced_classes],
    [ZOQ::Trace::HINT, on_disk("logs/trace.txt")],
    [:jump, ZOQ::Trace.original_method_name_for(:__trace_original_jump__)],
    [:jump, ZOQ::Trace.original_method_name_for(:jump)],
    [:__trace_original_jump__, ZOQ::Trace.trace_method_name_for(:jump)],
    # The tracer's own wrappers and the ignored methods are never wrapped.
    [[:walk], ZOQ::Trace.filter_methods_to_trace([:__trace_original_walk__, :walk, :tick, :inspect, :puts])]
  ]
  Walker.class_eval { def step n; n * 2; end }
  # Traced again afterwards, the class is wrapped afresh.
  ZOQ::Trace.trace! w
  assert_equal [[Walker], 8], [ZOQ::Trace.traced_classes, w.step(4)]
  assert_includes trace_text, "\n  step(4)"
  ZOQ::Trace.untrace_classes!
end

test "traced calls keep the buffer and logs/trace.txt within their limits, newest calls kept, whenever trace! runs" do
  w = traced_walker
  long = "x" * 200
  largest = 0
  10_000.times do |i|
    w.keep "#{i} #{long}"
    largest = $trace_puts.length if $trace_puts.length > largest
  end
  w.keep "y" * 5000
  text = trace_text
  assert largest < ZOQ::Trace::BUFFER_PIECES, largest.to_s
  assert text.length <= ZOQ::Trace::FILE_MAX && text.length > ZOQ::Trace::FILE_MAX / 2, text.length.to_s
  assert_includes text, "(Older trace lines were dropped", "keep(\"9999 xxx", "Walker#keep: ",
                  "keep(\"#{"y" * (ZOQ::Trace::PARAMETERS_MAX - 1)}...)"
  refute text.include?("keep(\"0 xxx")

  # trace! at the top of every tick flushes every tick, until the file passes its limit.
  ZOQ::Trace.untrace_classes!
  now = boot_game "def tick args; trace!($walker); $walker.keep 'k' * 400; end\n"
  $walker = Walker.new
  def ($zoq).log obj, sender = nil # each tick's flush note would fill the output
    $quiet ? nil : super
  end
  $quiet = true
  begin
    ticks = 0
    until on_disk("logs/trace.txt").include?("(Older trace lines were dropped") || ticks > 20_000
      now = run_steps now, 500
      ticks += 500
    end
    run_steps now, 500
  ensure
    $quiet = false
  end
  text = on_disk "logs/trace.txt"
  assert text.length <= ZOQ::Trace::FILE_MAX && text.length > ZOQ::Trace::FILE_MAX / 2, text.length.to_s
  assert_includes text, "(Older trace lines were dropped", "keep(\"kkk"
  ZOQ::Trace.untrace_classes!
end

test "trace! at the top of each tick writes what was measured before starting afresh, and quit writes the last of it" do
  # Two ticks of a game that calls trace! first, then quit.
  w = traced_walker
  w.walk 1, 1
  ZOQ::Trace.trace! w
  w.step 4
  w.step 5
  $zoq.quit!
  text = on_disk("logs/trace.txt")
  first, second = text.split("step(5)")
  assert_includes first, "Walker#walk: ", "Walker#step: ", "/1 "
  assert_includes second.to_s, "ms success: step", "Walker#step: ", "/2 "
  refute second.to_s.include?("Walker#walk: ")
end
