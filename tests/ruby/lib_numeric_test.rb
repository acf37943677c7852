# Numbers: nil-tolerant operators, ticks and animation frames, stepping and limits.

test "the four operators answer nil for a nil or false operand, also when sent as a message" do
  assert_equal nil, 5 + nil
  assert_equal nil, 5 - false
  assert_equal nil, 2.5 * nil
  assert_equal nil, 5 / nil
  assert_equal nil, 5.send(:+, nil)
  assert_equal nil, 1.5.send(:/, nil)
  assert_equal 7, 5.send(:+, 2)
  assert_equal 1.5, 1.send(:-, -0.5)
  assert_equal 6.0, 4.send(:*, 1.5)
end

test "a non-numeric right operand raises the :+ text whatever the operator" do
  assert_raises(StandardError, "Attempted to invoke :+ on 5 with the right hand argument of:\n\na\n\nThe object above is not a Numeric.") { 5 + "a" }
  assert_raises(StandardError, "Attempted to invoke :+ on 5 with") { 5 * "a" }
  assert_raises(StandardError, "Attempted to invoke :+ on 2.5 with") { 2.5 / :x }
  assert_raises(StandardError, "Attempted to invoke :+ on 3 with") { 3.send(:-, []) }
end

test "comparisons with nil are false and otherwise the core ones, also when sent" do
  assert_equal false, 5 < nil
  assert_equal false, 5 >= false
  assert_equal false, 2.5 > nil
  assert_equal false, 2.5 <= nil
  assert_equal true, 3 < 4
  assert_equal false, 4 < 3
  assert_equal true, 3.send(:<, 4)
  assert_equal false, 4.send(:<, 3)
  assert_equal true, 4.send(:>=, 4)
  assert_equal true, 2.5.send(:<=, 3)
  assert_equal true, 1.send(:<, 1.5)
  assert_equal true, 3.lt(4)
  assert_equal true, 5.above?(4)
  assert_equal true, 4.left_of?(5)
  assert_equal true, 5.gte(5)
  assert_raises(ArgumentError) { 5 < "a" }
end

test "an Integer equals an open entity that carries it as its id" do
  entity = ZOQ::OpenEntity.new
  assert_equal true, entity.entity_id == entity.entity_id
  assert_equal true, entity.entity_id.send(:==, entity)
  assert entity.entity_id == entity
  refute((entity.entity_id + 1) == entity)
  assert_equal false, 7 == "7"
  assert_equal true, 7 == 7.0
  assert_equal true, [1, 2, 3].include?(3)
  assert_equal 2, [1, 2, 3].index(3)
end

test "integer operations answer whole numbers without relying on integer division" do
  assert_equal 0, 0.5.idiv(1)
  assert_equal 3, 7.idiv(2)
  assert_equal 0, -1.idiv(4)
  assert_equal(-2, -9.idiv(4))
  assert_equal 3.5, 7.half
  assert_equal 4.0, 8.half
  assert_equal 2.5, 5.fdiv(2)
  assert_equal 6, 7.ifloor(3)
  assert_equal 6, 7.9.ifloor(3)
  assert_equal 0.5, 5.percentage_of(10)
  # Capped: the limit itself, an Integer.
  assert_equal 1, 15.percentage_of(10)
  assert_equal 0, -5.percentage_of(10)
end

test "seconds, elapsed time and new? count from the current tick" do
  at_tick 100 do
    assert_equal 120, 2.seconds
    assert_equal 30, 70.elapsed_time
    assert_equal 5, 70.elapsed_time(75)
    assert_equal 0.5, 50.elapsed_time_percent(100)
    assert 100.new?
    refute 99.new?
    assert 99.elapsed?
    refute 100.elapsed?
    assert 90.elapsed?(9)
    refute 90.elapsed?(10)
    assert 90.elapsed?(10, 101)
  end
end

test "frame_index holds the first frame one tick longer and stops without repeat" do
  at_tick(9) { assert_equal nil, 10.frame_index(3, 4, true) }
  at_tick(10) { assert_equal 0, 10.frame_index(3, 4, true) }
  at_tick(14) { assert_equal 0, 10.frame_index(3, 4, true) }
  at_tick(15) { assert_equal 1, 10.frame_index(3, 4, true) }
  at_tick(19) { assert_equal 2, 10.frame_index(3, 4, true) }
  at_tick(23) { assert_equal 0, 10.frame_index(3, 4, true) }
  at_tick(23) { assert_equal 0, 10.frame_index(3, 4, false) }
  at_tick(24) { assert_equal nil, 10.frame_index(3, 4, false) }
  at_tick(24) { assert_equal nil, 10.frame_index(count: 3, hold_for: 4) }
  at_tick(15) { assert_equal 1, 10.frame_index(count: 3, hold_for: 4, repeat: true) }
  # The override decides only whether the animation is over.
  at_tick(15) { assert_equal 1, 10.frame_index(3, 4, false, 16) }
  at_tick(15) { assert_equal nil, 10.frame_index(3, 4, false, 24) }
  at_tick(15) do
    e = assert_raises(StandardError, "* ERROR:\n[3, nil, true]\n") { 10.frame_index(3, nil, true) }
    assert e.message.end_with?("\n")
  end
end

test "steps toward a target never overshoot it" do
  assert_equal 5, 5.towards(5, 2)
  assert_equal 10, 9.towards(10, 2)
  assert_equal 7, 5.towards(10, 2)
  assert_equal 3, 5.towards(0, 2)
  assert_equal 0, 1.5.towards(0, 2)
end

test "limits, choices and byte values" do
  assert_equal 10, 15.cap(10)
  assert_equal 5, 5.cap(10)
  assert_equal 0, -3.cap_min_max(0, 9)
  assert_equal 9, 12.cap_min_max(0, 9)
  assert_equal 3, 5.lesser(3)
  assert_equal 5, 5.greater(3)
  assert_equal 255, 300.to_byte
  assert_equal 0, -2.to_byte
  assert_equal 127, 127.9.to_byte
  assert_equal 4, Numeric.clamp(9, 0, 4)
  assert 12.zmod?(6)
  refute 13.zmod?(6)
  assert 9.mod_zero?(2, 3)
  refute 7.mod_zero?(2, 3)
  assert_equal 1, 7.mod(3)
  assert_equal 1, 7.remainder_of_divide(3)
end

test "sign, parity and the text with two decimals" do
  assert_equal(-1, -4.sign)
  assert_equal 0, 0.sign
  assert_equal 1, 0.5.sign
  assert 3.pos?
  assert((-3).neg?)
  assert 4.even?
  assert 5.odd?
  assert_equal "1.50", 1.5.to_sf
  assert_equal "3.00", 3.to_sf
  assert_raises(StandardError, "Numeric#pos? has been deprecated.") { 1.5.pos? }
  assert_raises(StandardError, "1.negative?") { 1.5.neg? }
  assert_equal 3, 3.round(2)
  assert_equal 1.25, 1.254.round(2)
end

test "infinity can be replaced by a scalar of the same sign" do
  assert_equal 100, Float::INFINITY.replace_infinity(100)
  assert_equal(-100, (-Float::INFINITY).replace_infinity(100))
  assert_equal 2.5, 2.5.replace_infinity(100)
  assert_equal Float::INFINITY, Float::INFINITY.replace_infinity(nil)
end

test "angles in degrees give vectors" do
  assert (90.to_radians - Math::PI / 2).abs < 1e-9
  assert (Math::PI.to_degrees - 180).abs < 1e-9
  assert 90.vector_x.abs < 1e-9
  assert_equal 1.0, 90.vector_y
  assert_equal 2.0, 0.x_vector(2)
  x, y = 180.vector(3)
  assert (x + 3).abs < 1e-9
  assert y.abs < 1e-9
  assert_equal 1.0, 0.cos
  assert_equal 1.0, 90.sin
end

test "counting maps and their block requirement" do
  assert_equal [0, 1, 2, 3], 3.numbers
  assert_equal [[0, 0], [0, 1], [1, 0], [1, 1]], 1.combinations(1)
  assert_equal [:a, :a, :a], 3.map { :a }
  assert_equal [0, 2, 4], 3.map_with_index { |i| i * 2 }
  assert_equal [[0, 0], [0, 1], [1, 0], [1, 1], [2, 0], [2, 1]], 3.map_with_ys(2) { |x, y| [x, y] }
  assert_raises(StandardError, "A block is required for Numeric#map.") { 3.map }
  assert_raises(StandardError, "A block is required for Numeric#map.") { 3.map_with_index }
  e = assert_raises(StandardError, "** method: :map_with_ys") { 2.map_with_ys(2) { |x, y| raise "inner" } }
  assert e.message.include?("** value: 2\n")
end

test "stepping helpers and their re-raised errors" do
  assert_equal 7, 5.shift_right(2)
  assert_equal 3, 5.shift_left(2)
  assert_equal 7, 5.shift_up(2)
  assert_equal 3, 5.shift_down(2)
  assert_equal 7, 5.add(2)
  assert_equal 3, 5.minus(2)
  assert_equal 10, 5.mult(2)
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
    s = 10.randomize(:sign)
    assert s == 10 || s == -10
    r = 4.rand_ratio
    assert r >= 0 && r < 4
  end
end

test "positions from the top and right edges" do
  assert_equal 700, 20.from_top
  assert_equal 1270, 10.from_right
  assert_equal 710, Numeric.from_top(10)
  saved = $zoq
  $zoq = nil
  begin
    assert_equal 700, 20.from_top
  ensure
    $zoq = saved
  end
end

test "numbers serialize as themselves and are value types" do
  assert_equal 5, 5.serialize
  assert_equal 2.5, 2.5.serialize
  assert 5.is_a?(ValueType)
  assert 2.5.is_a?(ValueType)
  assert_equal 0, 7.zero
  assert_equal 10, 7.ten
  assert 0.zero?
end
