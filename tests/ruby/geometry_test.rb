# ZOQ::Geometry as module functions and as the mixin that Hash includes.

G = ZOQ::Geometry

def rect x, y, w, h
  { x: x, y: y, w: w, h: h }
end

class PlainBox
  attr_accessor :x, :y, :w, :h
  def initialize x, y, w, h
    @x = x
    @y = y
    @w = w
    @h = h
  end
end

test "rectangles that only touch do not intersect under the default tolerance; inside_rect? grows with it" do
  a = rect 0, 0, 10, 10
  shifted = rect 1, 0, 10, 10
  assert_rows [[false, a.intersect_rect?(rect(10, 0, 10, 10))], [true, a.intersect_rect?(rect(9.8, 0, 10, 10))],
               [false, a.intersect_rect?(rect(9.85, 0, 10, 10))], [true, G.intersect_rect?(a, rect(10, 0, 10, 10), 0)],
               [false, G.intersect_rect?(a, rect(0, 10, 10, 10))], [true, G.intersect_rect?(a, rect(-5, -5, 10, 10))],
               # Array rectangles, on either side and as receivers, against Hashes.
               [true, G.intersect_rect?([0, 0, 10, 10], rect(5, 5, 10, 10))],
               [false, G.intersect_rect?(rect(20, 0, 5, 5), [0, 0, 10, 10, 255, 0, 0])],
               [false, [0, 0, 10, 10].intersect_rect?([10, 0, 10, 10])], [true, [0, 0, 10, 10].inside_rect?(rect(-1, -1, 20, 20))],
               [true, a.inside_rect?(a)], [false, a.inside_rect?(shifted)], [false, a.inside_rect?(shifted, 0.4)],
               [true, a.inside_rect?(shifted, 0.5)], [true, G.inside_rect?(rect(2, 2, 2, 2), a)]]
  assert_raises(StandardError, ":inside_rect? failed for inner_rect: ") { G.inside_rect?(5, a) }
end

test "intersect_rect? names the methods an operand lacks" do
  error = assert_raises(StandardError) { G.intersect_rect?(rect(0, 0, 1, 1), Object.new) }
  assert error.message.start_with?("* ERROR:\n:intersect_rect? failed for\n- rect_one: ")
  assert error.message.include?("* FAILURE REASON:\nrect_two needs to implement the following methods: [:left, :right, :top, :bottom]\nNOTE: You may want to try include the ~ZOQ::Geometry~ module")
  refute error.message.include?("rect_one needs")
  error = assert_raises(StandardError) { G.intersect_rect?(Object.new, rect(0, 0, 1, 1)) }
  assert error.message.include?("rect_one needs to implement the following methods: [:left, :right, :top, :bottom]\n\nYou may want to try include the ~AttrRect~ module")
end

test "intersects_rect? with an s is refused with advice" do
  assert_raises(RuntimeError, "intersects_rect? (with an \"s\") has been deprecated.\nUse intersect_rect? instead") do
    rect(0, 0, 1, 1).intersects_rect?(rect(0, 0, 1, 1))
  end
  assert_raises(RuntimeError, ":angle_given_point has been deprecated use :angle_from instead.") do
    rect(0, 0, 1, 1).angle_given_point(rect(0, 0, 1, 1))
  end
end

test "scale_rect scales around its anchors for Hashes, Arrays and objects" do
  assert_rows [[{ x: 25.0, y: 12.5, w: 50.0, h: 25.0 }, G.scale_rect(rect(0, 0, 100, 50), 0.5, 0.5)],
               [[0, 0, 200, 100, 255], G.scale_rect([0, 0, 100, 50, 255], 2)],
               [{ x: 0.0, y: 25.0, w: 50.0, h: 25.0 }, rect(0, 0, 100, 50).scale_rect(0.5, [0, 1])],
               [{ x: 10, y: 10, w: 20, h: 10 },
                G.scale_rect_extended(rect(10, 10, 10, 10), percentage_x: 2, percentage_y: nil, anchor_x: nil, anchor_y: 1)]]
  box = PlainBox.new 0, 0, 10, 10
  assert G.scale_rect(box, 2, 0.5).equal?(box)
  assert_equal [-5.0, -5.0, 20, 20], [box.x, box.y, box.w, box.h]
end

test "scale_rect_extended takes nil as the default and asks the receiver for missing keywords" do
  assert_raises(StandardError) { G.scale_rect_extended(rect(0, 0, 1, 1), percentage_x: 1, percentage_y: 1, anchor_x: 0) }
  box = PlainBox.new 0, 0, 10, 10
  def box.percentage_y; 3; end
  def box.anchor_y; 0; end
  box.extend ZOQ::Geometry
  box.scale_rect_extended(percentage_x: 1, anchor_x: 0)
  assert_equal 30, box.h
  error = assert_raises(StandardError) { G.scale_rect_extended(5, percentage_x: 1, percentage_y: 1, anchor_x: 0, anchor_y: 0) }
  assert error.message.start_with?(":scale_rect_extended failed for rect: 5 percentage_x: 1 percentage_y: 1 anchors_x: 0 anchor_y: 0.")
  assert_raises(StandardError, ":scale_rect failed for rect: 5 percentage: 2 anchors [0 (x), 0 (y)].") { G.scale_rect(5, 2) }
end

test "center_inside_rect centres a copy on one or both axes" do
  small = rect 0, 0, 10, 20
  big = rect 100, 200, 50, 40
  assert_rows [[{ x: 120.0, y: 210.0, w: 10, h: 20 }, small.center_inside_rect(big)],
               [{ x: 120.0, y: 200, w: 10, h: 20 }, small.center_inside_rect_x(big)],
               [{ x: 100, y: 210.0, w: 10, h: 20 }, small.center_inside_rect_y(big)], [{ x: 0, y: 0, w: 10, h: 20 }, small],
               [1.5, G.center_inside_rect(rect(0, 0, 1, 1), rect(0, 0, 4, 4))[:x]]]
  assert_raises(StandardError, "* ERROR:\ncenter_inside_rect for self ") { G.center_inside_rect(5, big) }
end

test "anchor_rect shifts by the anchors times the size" do
  box = PlainBox.new 10, 10, 4, 2
  def box.shift_rect dx, dy; [x + dx, y + dy]; end
  box.extend ZOQ::Geometry
  assert_equal [8.0, 9.0], box.anchor_rect(0.5, 0.5)
end

test "to_square, distance, point_inside_circle?, angles from above 0 up to 360 degrees and cubic_bezier" do
  origin = { x: 0, y: 0 }
  assert_rows [[[95.0, 95.0, 10, 10], G.to_square(10, 100, 100)], [[100, 90, 10, 10], G.to_square(10, 100, 100, 0, 1)],
               [5.0, G.distance(origin, { x: 3, y: 4 })], [true, G.point_inside_circle?({ x: 1, y: 1 }, origin, 2)],
               [false, G.point_inside_circle?({ x: 3, y: 4 }, origin, 5)], [true, { x: 3, y: 3.9 }.point_inside_circle?(origin, 5)],
               [90.0, G.angle_to(origin, { x: 0, y: 10 })], [360.0, G.angle_to(origin, { x: 10, y: 0 })],
               [180.0, G.angle_to(origin, { x: -10, y: 0 })], [270.0, origin.angle_to({ x: 0, y: -10 }).round(9)],
               [270.0, G.angle_from(origin, { x: 0, y: 10 }).round(9)], [90.0, origin.angle_from({ x: 0, y: -10 })],
               [0.0, G.cubic_bezier(0, 0, 0.3, 0.6, 1)], [1.0, G.cubic_bezier(1, 0, 0.3, 0.6, 1)],
               [0.4625, G.cubic_bezier(0.5, 0, 0.3, 0.6, 1).round(12)]]
  assert_raises(StandardError, ":distance failed for point_one: 1 point_two 2.") { G.distance(1, 2) }
  assert_raises(StandardError, ":to_square failed for size: a") { G.to_square("a", nil, 1) }
  assert_raises(StandardError, ":angle_to failed for start_point: 1 end_point: 2.") { G.angle_to(1, 2) }
end

test "line_slope and the functions on it answer nil for a vertical line, never writing a coerced nil into the state" do
  state = ZOQ::OpenEntity.new
  state.never_set
  vertical = { x: 5, y: 0, x2: 5, y2: 10 }
  slanted = { x: 0, y: 1, x2: 2, y2: 5 }
  assert_rows [[2.0, G.line_slope(slanted)], [nil, G.line_slope(vertical)], [1000, G.line_slope(vertical, replace_infinity: 1000)],
               [1.0, G.line_y_intercept(slanted)], [nil, G.line_y_intercept(vertical)],
               [nil, G.angle_between_lines(vertical, slanted)], [nil, G.angle_between_lines(slanted, vertical)],
               [nil, G.line_intersect(vertical, slanted)], [nil, G.line_intersect(slanted, vertical)]]
  refute state.as_hash.key?(:never_set)
end

test "angle_between_lines and line_intersect of slanted and horizontal lines" do
  flat = { x: 0, y: 0, x2: 10, y2: 0 }
  diagonal = { x: 0, y: 0, x2: 10, y2: 10 }
  up = { x: 0, y: 0, x2: 1, y2: 1 }
  down = { x: 0, y: 4, x2: 1, y2: 3 }
  high = { x: 0, y: 3, x2: 10, y2: 3 }
  assert_rows [[-45.0, G.angle_between_lines(flat, diagonal).round(6)], [45.0, G.angle_between_lines(diagonal, flat).round(6)],
               [90.0, G.angle_between_lines(up, down, replace_infinity: 1000).round(6).abs], [[2.0, 2.0], G.line_intersect(up, down)],
               [[3.0, 3.0], G.line_intersect(high, diagonal)], [[3.0, 3.0], G.line_intersect(diagonal, high)],
               [[0.0, 0.0], G.line_intersect(flat, diagonal)]]
  refute G.line_intersect(up, { x: 0, y: 1, x2: 1, y2: 2 })[0].finite? # parallel
  both_flat = G.line_intersect(high, { x: 0, y: 5, x2: 10, y2: 5 })
  refute both_flat[0].finite? || both_flat[1].finite?
end

test "line_rise_run makes the larger part one; line_rect starts at the endpoint with the smaller x" do
  assert_rows [[{ x: 0.25, y: 1.0 }, G.line_rise_run({ x: 0, y: 0, x2: 2, y2: 8 })],
               [{ x: 1.0, y: 1.0 }, G.line_rise_run({ x: 0, y: 0, x2: 3, y2: 3 })],
               [{ x: 0.0, y: 0.0 }, G.line_rise_run({ x: 1, y: 1, x2: 1, y2: 1 })],
               [{ x: -1.0, y: 0.5 }, G.line_rise_run({ x: 4, y: 0, x2: 0, y2: 2 })],
               [{ x: 0, y: 5, w: 10, h: -5 }, G.line_rect({ x: 10, y: 0, x2: 0, y2: 5 })],
               [{ x: 3, y: 1, w: 0, h: 4 }, G.line_rect({ x: 3, y: 1, x2: 3, y2: 5 })]]
end

test "shift_line moves copies of Arrays and Hashes and refuses anything else" do
  line = [0, 0, 10, 10, 255]
  assert_equal [1, 2, 11, 12, 255], G.shift_line(line, 1, 2)
  assert_equal [0, 0, 10, 10, 255], line
  assert_equal({ x: 1, y: 2, x2: 11, y2: 12 }, G.shift_line({ x: 0, y: 0, x2: 10, y2: 10 }, 1, 2))
  assert_raises(RuntimeError, "shift_line for 5 is not supported.") { G.shift_line(5, 1, 1) }
end

test "ray_test tells the side of a line, whatever order its endpoints come in" do
  rising = { x: 0, y: 0, x2: 10, y2: 10 }
  reversed = { x: 10, y: 10, x2: 0, y2: 0 }
  falling = { x: 0, y: 10, x2: 10, y2: 0 }
  vertical = { x: 0, y: 0, x2: 0, y2: 10 }
  [[:on, 5, 5, rising], [:left, 0, 10, rising], [:right, 10, 0, rising], [:left, 0, 10, reversed], [:right, 10, 0, reversed],
   [:right, 10, 10, falling], [:left, 0, 0, falling], [:right, 5, 5, vertical], [:left, -5, 5, vertical]].each do |side, x, y, line|
    assert_equal side, G.ray_test({ x: x, y: y }, line), "#{x}, #{y} #{line}"
  end
end
