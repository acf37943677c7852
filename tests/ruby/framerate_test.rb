# The rate of engine steps the runtime measures, its warning and its diagnostics, against
# a clock the test sets (whole seconds, as the runtime reads them).

# A runtime whose clock reads $clock, with the measurement started afresh at second 1000.
def measured_runtime
  zoq = new_runtime
  def zoq.framerate_clock
    $clock
  end
  $clock = 1000
  zoq.reset_framerate_calculation
  zoq.check_framerate
  zoq
end

# Runs checks at the given rates: [checks per second, seconds] pairs. Answers the rate read
# after each second and the log calls made, important ones marked.
def run_checks zoq, schedule
  readings = []
  logged = []
  def zoq.log_important *args
    return super unless $logged
    $logged << [:important, args[0].to_s]
  end
  def zoq.log obj, sender = nil
    return super unless $logged
    $logged << [:log, obj.to_s]
  end
  $logged = []
  schedule.each do |per_second, seconds|
    seconds.times do
      per_second.times do |i|
        $clock += 1 if i == 0
        zoq.check_framerate
      end
      readings << zoq.current_framerate
    end
  end
  [readings, $logged.select { |kind, text| text.include?("Your average framerate dropped") }.map { |kind, _| kind }]
ensure
  $last_logged = $logged
  $logged = nil
end

test "the rate reads 60 at a steady step, follows a slower one and warns only while it keeps falling" do
  [
    # schedule, game tick, console shown, rate after the last second, warnings
    [[[60, 5]], 700, false, 60, []],
    [[[59, 4]], 700, false, 60, []],                                  # above 58 reads 60
    [[[30, 6]], 700, false, 30.0, []],                                # level: never taken for falling
    [[[60, 3], [40, 2], [20, 3]], 700, false, 300 / 7.0, [:important, :log]],
    [[[60, 3], [40, 2], [20, 3]], 500, false, 300 / 7.0, []],         # before game tick 600
    [[[60, 3], [40, 2], [20, 3]], 700, true, 300 / 7.0, []],          # the console is up
    [[[60, 3], [20, 4]], 700, false, 40.0, [:important, :log]],
    [[[60, 2]], 700, false, 60, []]                                   # 120 checks: never looked at
  ].each do |schedule, tick, console_shown, rate, warnings|
    zoq = measured_runtime
    zoq.console.show if console_shown
    Kernel.tick_count = tick
    readings, warned = run_checks zoq, schedule
    assert_equal rate, readings[-1], schedule.inspect
    assert_equal warnings, warned, "#{schedule.inspect} #{tick} #{console_shown}"
    assert readings.all? { |r| r > 0 && r <= 60 }, readings.inspect
  end
end

test "a clock set back or a pause never gives a negative or broken rate" do
  zoq = measured_runtime
  run_checks zoq, [[60, 2]]
  $clock -= 3600
  readings, = run_checks zoq, [[60, 3]]
  assert_equal [60, 60, 60], readings
  zoq.pause!
  zoq.check_framerate
  # The measurement starts over: 60, and the whole of it as the change.
  assert_equal [60, 60], [zoq.current_framerate, zoq.delta_framerate]
  zoq.unpause!
  assert_equal 60, zoq.current_framerate
end

test "diagnostics are logged at the next check, once, and shown on the panel; a failure to build them clears the request" do
  zoq = measured_runtime
  zoq.args.outputs.solids << { x: 0, y: 0, w: 1, h: 1 }
  zoq.args.outputs.static_sprites << { x: 0, y: 0, w: 1, h: 1, path: "a.png" }
  $perf_counter_outputs_push_count = 7
  $perf_counter_primitive_is_array = 3
  zoq.framerate_diagnostics
  run_checks zoq, [[2, 1]]
  texts = $last_logged.map { |_, text| text }
  assert_equal "================================", texts[0]
  assert_includes texts[1], "* INFO: Framerate Diagnostics\n", "args.outputs.debug << args.zoq.framerate_diagnostics_primitives",
                  "** Draw Calls: ~<<~ Invocation Perf Counter\n", "  7 times invoked.\n", "** Array Primitives\n",
                  "3 Array Primitives.\n", "PRIMITIVE   COUNT, STATIC COUNT\nsolids:     1, 0\nsprites:    0, 1\n",
                  "reserved:   ", "** Additional Help\n"
  assert_equal 2, texts.length
  # The panel: a half-transparent black strip along the top left, five white labels 15 apart.
  zoq.mouse_move 20, 700
  panel = zoq.framerate_diagnostics_primitives
  assert_equal panel, zoq.current_framerate_primitives
  fields = [:primitive_marker, :x, :y, :w, :h, :r, :g, :b, :a, :size_enum, :text]
  assert_rows [
    [[:solid, 0, 627, 500, 93, 0, 0, 0, 128, nil, nil], panel[0]],
    [[:label, 5, 715, nil, nil, 255, 255, 255, nil, -2, "More Info via Zintarel Console: $zoq.framerate_diagnostics"], panel[1]],
    [[:label, 5, 700, nil, nil, 255, 255, 255, nil, -2, "FPS: 60.00"], panel[2]],
    [[:label, 5, 685, nil, nil, 255, 255, 255, nil, -2, "Draw Calls: 7"], panel[3]],
    [[:label, 5, 670, nil, nil, 255, 255, 255, nil, -2, "Array Primitives: 3"], panel[4]],
    [[:label, 5, 655, nil, nil, 255, 255, 255, nil, -2, "Mouse: [20, 20]"], panel[5]]
  ].map { |expected, primitive| [expected, fields.map { |k| primitive[k] }] }
  assert_equal 6, panel.length
  assert_includes zoq.framerate_warning_message, "* WARNING:\nYour average framerate dropped below 60 fps for two seconds.\n\nThe average FPS was 60.\n",
                  "  args.zoq.log_level = :off\n", "* INFO: Framerate Diagnostics\n"
  # A state the text cannot be built from: the request is dropped, the measurement goes on.
  def (zoq.args.outputs).solids
    raise "no solids"
  end
  zoq.framerate_diagnostics
  run_checks zoq, [[3, 1]]
  assert_equal ["================================"], $last_logged.map { |_, t| t }
  readings, = run_checks zoq, [[60, 4]]
  assert_equal [[], 60], [$last_logged, readings[-1]]
end
