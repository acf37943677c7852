# ZOQ::Easing: progress between two ticks shaped by chains of definitions, and splines.

E = ZOQ::Easing

# Float literals are read with less precision than arithmetic keeps here.
def assert_close expected, actual
  assert (expected - actual).abs < 1e-12, "expected #{expected}, got #{actual}"
end

test "without definitions the progress is linear and limited to 0..1; each named function shapes it; chains apply left to right" do
  # Past the end the limit itself, the Integer 1.
  assert_rows [[0.0, E.ease(10, 10, 20)], [0.5, E.ease(10, 20, 20)], [1, E.ease(10, 40, 20)], [0, E.ease(10, 0, 20)],
               [0.5, E.ease(0, 5, 10, :identity)], [0.5, E.ease(0, 5, 10, :flip)], [0.25, E.ease(0, 5, 10, :quad)],
               [0.125, E.ease(0, 5, 10, :cube)],
               [0.75, E.ease(0, 30, 60, :quad, :flip)], [0.25, E.ease(0, 30, 60, :flip, :quad)],
               [0.75, E.ease(0, 30, 60, [:quad, :flip])], [0.75, E.ease(0, 30, 60, [[:quad], [:flip]])],
               [0.75, E.ease(0, 30, 60, :quad, [:flip])], [0.25, E.ease_extended(100, 105, 110, :ignored, :ignored, :quad)],
               # Initial and final values read the last definition of the flattened chain.
               [1, E.initial_value(:quad, :flip)], [1, E.initial_value([:quad, :flip])], [0.0, E.final_value([[:quad, :flip]])],
               [0, E.initial_value], [1.0, E.final_value]]
  assert_close 0.03125, E.ease(0, 5, 10, :quart)
  assert_close 0.015625, E.ease(0, 5, 10, :quint)
end

test "a Proc is called with the progress, the start tick and the duration" do
  calls = []
  doubler = ->(x, s, d) { calls << [x, s, d]; 2 * x }
  assert_equal 1.0, E.ease(0, 5, 10, doubler)
  assert_equal [[0, 0, 10], [1.0, 0, 10], [0.5, 0, 10]], calls
end

test "unknown definitions raise" do
  assert_raises(StandardError, "bogus") { E.ease(0, 5, 10, :bogus) }
  assert_raises(RuntimeError, "* ERROR:\nI don't know how to execute easing function with definition 3.\n\n") do
    E.ease(0, 5, 10, 3)
  end
end

test "a spline answers the curve point, and its last value once the time is over" do
  spline = [[0, 0.3, 0.6, 1]]
  two = [[0, 0, 0, 0.5], [0.5, 1, 1, 1]]
  assert_rows [[1, E.ease_spline(0, 90, 60, spline)], [1, E.ease_spline(0, 60, 60, spline)],
               [0.4625, E.ease_spline(0, 30, 60, spline).round(12)], [0.0, E.ease_spline(0, 0, 60, spline)],
               [0.5, E.ease_spline(0, 30, 60, two)], [0.5, E.ease_spline_extended(0, 30, 60, two)],
               [1.0, E.ease_spline(0, 45, 60, [[1, 1, 1, 1], [1, 1, 1, 1]])]]
end

test "a tick before the start reads the spline from its end" do
  two = [[0, 0, 0, 0.5], [0.5, 1, 1, 1]]
  # t = -1/6: s = -1/3 lies in the last curve, two thirds along it.
  assert_close ZOQ::Geometry.cubic_bezier(2.0 / 3, *two[-1]), E.ease_spline(0, -10, 60, two)
  assert_close ZOQ::Geometry.cubic_bezier(0.5, *two[0]), E.ease_spline(0, -45, 60, two)
end
