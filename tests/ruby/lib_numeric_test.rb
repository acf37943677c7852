# Numbers: nil-tolerant operators, ticks and animation frames, stepping and limits.

test "the four operators answer nil for a nil or false operand, also when sent; other operands raise the :+ text" do
  assert_rows [[nil, 5 + nil], [nil, 5 - false], [nil, 2.5 * nil], [nil, 5 / nil], [nil, 5.send(:+, nil)], [nil, 1.5.send(:/, nil)],
   [7, 5.send(:+, 2)], [1.5, 1.send(:-, -0.5)], [6.0, 4.send(:*, 1.5)]]
  assert_raises(StandardError, "Attempted to invoke :+ on 5 with the right hand argument of:\n\na\n\nThe object above is not a Numeric.") { 5 + "a" }
  assert_raises(StandardError, "Attempted to invoke :+ on 5 with") { 5 * "a" }
  assert_raises(StandardError, "Attempted to invoke :+ on 2.5 with") { 2.5 / :x }
  assert_raises(StandardError, "Attempted to invoke :+ on 3 with") { 3.send(:-, []) }
end

test "comparisons with nil are false and otherwise the core ones, also when sent; an open entity equals its id" do
  assert_rows [[false, 5 < nil], [false, 5 >= false], [false, 2.5 > nil], [false, 2.5 <= nil], [true, 3 < 4], [false, 4 < 3],
   [true, 3.send(:<, 4)], [false, 4.send(:<, 3)], [true, 4.send(:>=, 4)], [true, 2.5.send(:<=, 3)],
   [true, 1.send(:<, 1.5)]]
  assert_raises(ArgumentError) { 5 < "a" }
  entity = ZOQ::OpenEntity.new
  assert_equal true, entity.entity_id.send(:==, entity)
  assert entity.entity_id == entity
  refute((entity.entity_id + 1) == entity)
  assert_equal true, 7 == 7.0
end

test "integer operations answer whole numbers without relying on integer division" do
  assert_rows [[0, 0.5.idiv(1)], [3, 7.idiv(2)], [0, -1.idiv(4)], [-2, -9.idiv(4)], [3.5, 7.half], [4.0, 8.half], [2.5, 5.fdiv(2)],
   [6, 7.ifloor(3)], [6, 7.9.ifloor(3)], [0.5, 5.percentage_of(10)],
   [1, 15.percentage_of(10)], [0, -5.percentage_of(10)], # capped: the limit itself, an Integer
   [255, 300.to_byte], [0, -2.to_byte], [127, 127.9.to_byte], [0, -3.cap_min_max(0, 9)], [9, 12.cap_min_max(0, 9)],
   [4, Numeric.clamp(9, 0, 4)], [5, 5.towards(5, 2)], [10, 9.towards(10, 2)], [7, 5.towards(10, 2)],
   [3, 5.towards(0, 2)], [0, 1.5.towards(0, 2)], [-1, -4.sign], [0, 0.sign], [1, 0.5.sign], [3, 3.round(2)],
   [1.25, 1.254.round(2)], ["1.50", 1.5.to_sf], ["3.00", 3.to_sf],
   [100, Float::INFINITY.replace_infinity(100)], [-100, (-Float::INFINITY).replace_infinity(100)],
   [2.5, 2.5.replace_infinity(100)], [Float::INFINITY, Float::INFINITY.replace_infinity(nil)]]
  assert 9.mod_zero?(2, 3)
  refute 7.mod_zero?(2, 3)
  assert_raises(StandardError, "Numeric#pos? has been deprecated.") { 1.5.pos? }
  assert_raises(StandardError, "1.negative?") { 1.5.neg? }
end

test "seconds, elapsed time and new? count from the current tick" do
  at_tick 100 do
    assert_equal [120, 30, 5, 0.5], [2.seconds, 70.elapsed_time, 70.elapsed_time(75), 50.elapsed_time_percent(100)]
    assert_equal [true, false, true, false, true, false, true],
                 [100.new?, 99.new?, 99.elapsed?, 100.elapsed?, 90.elapsed?(9), 90.elapsed?(10), 90.elapsed?(10, 101)]
  end
end

test "frame_index holds the first frame one tick longer and stops without repeat" do
  [[9, nil, [3, 4, true]], [10, 0, [3, 4, true]], [14, 0, [3, 4, true]], [15, 1, [3, 4, true]], [19, 2, [3, 4, true]],
   [23, 0, [3, 4, true]], [23, 0, [3, 4, false]], [24, nil, [3, 4, false]], [24, nil, [{ count: 3, hold_for: 4 }]],
   [15, 1, [{ count: 3, hold_for: 4, repeat: true }]],
   # The override decides only whether the animation is over.
   [15, 1, [3, 4, false, 16]], [15, nil, [3, 4, false, 24]]].each do |tick, want, args|
    at_tick(tick) { assert_equal want, 10.frame_index(*args), "#{tick} #{args}" }
  end
  at_tick(15) do
    e = assert_raises(StandardError, "* ERROR:\n[3, nil, true]\n") { 10.frame_index(3, nil, true) }
    assert e.message.end_with?("\n")
  end
end

test "angles in degrees give vectors" do
  assert (90.to_radians - Math::PI / 2).abs < 1e-9
  assert (Math::PI.to_degrees - 180).abs < 1e-9
  assert 90.vector_x.abs < 1e-9
  assert_equal [1.0, 2.0, 1.0, 1.0], [90.vector_y, 0.x_vector(2), 0.cos, 90.sin]
  x, y = 180.vector(3)
  assert (x + 3).abs < 1e-9 && y.abs < 1e-9
end

test "counting maps, their block requirement and the re-raised errors of helpers" do
  assert_equal [0, 1, 2, 3], 3.numbers
  assert_equal [[0, 0], [0, 1], [1, 0], [1, 1]], 1.combinations(1)
  assert_equal [0, 2, 4], 3.map_with_index { |i| i * 2 }
  assert_equal [[0, 0], [0, 1], [1, 0], [1, 1], [2, 0], [2, 1]], 3.map_with_ys(2) { |x, y| [x, y] }
  assert_raises(StandardError, "A block is required for Numeric#map.") { 3.map }
  assert_raises(StandardError, "A block is required for Numeric#map.") { 3.map_with_index }
  e = assert_raises(StandardError, "** method: :map_with_ys") { 2.map_with_ys(2) { |x, y| raise "inner" } }
  assert e.message.include?("** value: 2\n")
  assert_equal [7, 3], [5.shift_right(2), 5.shift_left(2)]
  e = assert_raises(StandardError, "** method: :shift_left") { 5.shift_left("a") }
  assert e.message.include?("** args: [\"a\"]")
  assert e.message.include?("** docs: $zoq.docs.shift_left")
end

test "random helpers stay in range" do
  50.times do
    v = 10.randomize(:ratio)
    assert v >= 0 && v < 10
    i = 10.randomize(:int)
    assert i.is_a?(Integer) && i >= 0 && i < 10
    assert [10, -10].include?(10.randomize(:sign))
    r = 4.rand_ratio
    assert r >= 0 && r < 4
  end
end

test "positions from the top and right edges, also before the runtime exists" do
  assert_equal [700, 1270, 710], [20.from_top, 10.from_right, Numeric.from_top(10)]
  saved = $zoq
  $zoq = nil
  begin
    assert_equal 700, 20.from_top
  ensure
    $zoq = saved
  end
end
