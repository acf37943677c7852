# args.grid (origins and transforms) and args.layout (rectangles of a 24 x 12 grid) at the
# usual logical size and at an odd one.

class GridRecorder
  attr_reader :calls

  def initialize
    @calls = []
  end

  def set_grid *args
    @calls << args
  end
end

def runtime_of_size w, h
  [:reset, :boot].each { |hook| Object.send(:remove_method, hook) if Object.method_defined?(hook) }
  $zoq = $runtime = $args = $state = $console = $recording = $tests = $wizards = nil
  ZOQ::Runtime.new("Linux", false, w, h, "./zintarel game", "./zintarel")
end

test "layout rectangles at 1280x720 and 801x601, from the bottom left and from the centre" do
  [
    [1280, 720, { row: 0, col: 0 }, { x: 20, y: 624, w: 44, h: 44 }, { x: -620.0, y: 264.0 }],
    [1280, 720, { row: 11, col: 23, w: 1, h: 1 }, { x: 1216, y: 52, w: 44, h: 44 }, { x: 576.0, y: -308.0 }],
    [1280, 720, { row: 0, col: 0, dx: 10 }, { x: 40, y: 624, w: 44, h: 44 }, { x: -600.0, y: 264.0 }],
    [1280, 720, { row: 2, col: 3, w: 4, h: 2, include_row_gutter: true, dw: 1 }, { x: 168.0, y: 468, w: 217.0, h: 96 },
     { x: -472.0, y: 108.0 }],
    [801, 601, { row: 0, col: 0 }, { x: 18, y: 465, w: 26, h: 26 }, { x: -382.5, y: 164.5 }],
    [801, 601, { row: 11, col: 23 }, { x: 756, y: 111, w: 26, h: 26 }, { x: 355.5, y: -189.5 }]
  ].each do |w, h, opts, bottom_left, centre|
    zoq = runtime_of_size w, h
    layout = zoq.args.layout
    expected = bottom_left.merge(row: opts[:row], col: opts[:col])
    assert_equal expected, layout.rect(opts).select { |k, _| expected.key?(k) }, "#{w}x#{h} #{opts}"
    zoq.args.grid.origin_center!
    moved = layout.rect(opts)
    assert_equal centre, { x: moved[:x], y: moved[:y] }, "centred #{w}x#{h} #{opts}"
  end
end

test "the layout's device, caches, fonts and refusals" do
  layout = runtime_of_size(1280, 720).args.layout
  device = layout.device.serialize
  assert_equal({ w: 1280, h: 720, u: 80 }, device[:aspect])
  assert_equal({ cell_size: 44, w: 1240.0, h: 616.0, margin: { left: 20.0, right: 20.0, top: 52.0, bottom: 52.0 } },
               device[:control_area])
  assert_equal [16.0, 8.0, 24, 12], [layout.outer_gutter, layout.gutter_width, layout.col_count, layout.row_count]
  layout.device.check_math!
  assert_equal({ x: 20.0, y: 624, w: 1240.0, h: 44 }, layout.rect_row(0, 1))
  assert_equal({ x: 20, y: 52.0, w: 44, h: 616.0 }, layout.rect_col(0, 1))
  first = layout.rect(row: 3, dx: 5)
  assert_equal first, layout.rect(row: 3, dx: 5)
  assert_equal [30.0, 20.0], [first[:x], layout.rect_row(3, 1)[:x]]
  assert_equal [{ u: 62, w: 992, h: 558 }, { u: 66, w: 1056, h: 594 }],
               [layout.u_for_16x9(1000, 1000), layout.u_for_16x9(1600, 600)]
  assert_equal layout.font_relative_size_enum(1), layout.font_relative_size_enum(0)
  assert_equal [24, 44 * 1.333333], [layout.font_px_to_pt(32), layout.font_pt_to_px(44)]
  assert_equal [5.0, 10.0, 20, 30], layout.rect_center([0, 0, 10, 10], { x: 0, y: 0, w: 20, h: 30 })
  assert_raises(RuntimeError, "LayoutTheory::rect unable to process opts ") { layout.rect(dx: 1) }
end

test "the grid's origins, transforms and the commands it sends" do
  zoq = runtime_of_size 801, 601
  grid = zoq.args.grid
  recorder = GridRecorder.new
  grid.ffi_draw = recorder
  assert_equal [:bottom_left, 0, 601, 400.5, [0, 0, 801, 601], [801, 0]],
               [grid.name, grid.origin_x, grid.origin_y, grid.center_x, grid.rect, grid.bottom_right]
  assert_equal [10, 591, 10, 591], [grid.transform_x(10), grid.transform_y(10), grid.untransform_x(10), grid.untransform_y(10)]
  grid.origin_center!
  grid.origin_center!
  assert_equal [[400.5, 300.5, -1]], recorder.calls
  assert_equal [400.5, 0.0, 0.0, -400.5, 300.5, [-400.5, -300.5, 801, 601], [0, 0]],
               [grid.transform_x(0), grid.untransform_y(300.5), grid.untransform_x(400.5), grid.left, grid.top,
                grid.rect, grid.center]
  assert_equal [:rect, :point], [grid.rect.is_a?(ZOQ::Primitive::Rect) ? :rect : nil, grid.center.x == 0 ? :point : nil]
  grid.origin_bottom_left!
  assert_equal [[400.5, 300.5, -1], [0, 601, -1]], recorder.calls
end
