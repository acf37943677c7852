# Render submission: how the runtime turns a pass's collections into FFI::Draw calls. The
# runtime's FFI::Draw is swapped for a recorder of the calls it would make.

class DrawRecorder
  attr_reader :calls

  def initialize
    @calls = []
  end

  [:draw_solid, :draw_border, :draw_line, :draw_label, :draw_sprite_3, :draw_screenshot,
   :upload_pixel_array].each do |name|
    define_method(name) { |*args| @calls << [name, *args]; name }
  end
end

def recording_draws zoq
  recorder = DrawRecorder.new
  zoq.instance_variable_set :@ffi_draw, recorder
  recorder
end

class OwnDrawing
  def draw_override ffi_draw
    ffi_draw.draw_line 1, 2, 3, 4, 5, 6, 7, 8
  end
end

class BrokenPrimitive
  def x
    raise "no x here"
  end
end

test "a pass is drawn collection by collection, static after its twin, debug and reserved last" do
  zoq = new_runtime
  recorder = recording_draws zoq
  pass = zoq.args.outputs
  pass.static_borders << { x: 12 }
  pass.borders << { x: 11 }
  pass.static_lines << { x: 10 }
  pass.lines << { x: 9 }
  pass.static_labels << { x: 8 }
  pass.labels << { x: 7 }
  pass.static_primitives << { x: 6, text: "p" }
  pass.primitives << { x: 5, path: "p.png" }
  pass.static_sprites << { x: 4 }
  pass.sprites << { x: 3 }
  pass.static_solids << { x: 2 }
  pass.solids << { x: 1 }
  pass.static_reserved << { x: 16, x2: 0 }
  pass.reserved << { x: 15, x2: 0 }
  pass.static_debug << { x: 14, primitive_marker: :solid }
  pass.debug << { x: 13, primitive_marker: :border }
  assert_equal :draw_line, zoq.primitives(pass)
  assert_equal (1..16).to_a, recorder.calls.map { |call| call[1] }
  assert_equal [:draw_solid, :draw_solid, :draw_sprite_3, :draw_sprite_3, :draw_sprite_3, :draw_label,
                :draw_label, :draw_label, :draw_line, :draw_line, :draw_border, :draw_border, :draw_border,
                :draw_solid, :draw_line, :draw_line], recorder.calls.map { |call| call[0] }
  # In production the debug collections are left out; the reserved ones are still drawn.
  zoq.instance_variable_set :@production, true
  recorder.calls.clear
  zoq.primitives(pass)
  assert_equal (1..12).to_a + [15, 16], recorder.calls.map { |call| call[1] }
  # A pass with nothing in it draws nothing and answers nil.
  recorder.calls.clear
  assert_equal nil, zoq.primitives(ZOQ::Outputs.new)
  assert_equal [], recorder.calls
end

# Adds a copy of itself to its collection each time it is drawn.
class SelfCopying
  def initialize collection, limit
    @collection = collection
    @limit = limit
  end

  def primitive_marker
    :solid
  end

  def draw_override ffi_draw
    ffi_draw.draw_solid @limit, 0, 0, 0, 0, 0, 0, 0
    @collection << SelfCopying.new(@collection, @limit - 1) if @limit > 1
  end
end

test "what is added while a collection is drawn is drawn too only in solids and static_lines" do
  zoq = new_runtime
  recorder = recording_draws zoq
  pass = ZOQ::Outputs.new
  pass.solids << SelfCopying.new(pass.solids, 3)
  pass.static_lines << SelfCopying.new(pass.static_lines, 2)
  pass.labels << SelfCopying.new(pass.labels, 5)
  pass.reserved << SelfCopying.new(pass.reserved, 4)
  zoq.primitives(pass)
  assert_equal [3, 2, 1, 5, 2, 1, 4], recorder.calls.map { |call| call[1] }
  assert_equal 2, pass.labels.length
  assert_equal 2, pass.reserved.length
end

test "each kind reads its fields in call order; what a primitive lacks goes over as nil" do
  zoq = new_runtime
  recorder = recording_draws zoq
  zoq.draw_solid({ x: 1, y: 2, w: 3, h: 4, r: 5, g: 6, b: 7, a: 8 })
  zoq.draw_border({ x: 1 })
  zoq.draw_line({ x: 1, y: 2, x2: 3, y2: 4, a: 9 })
  zoq.draw_label({ x: 1, y: 2, text: 5, size_enum: 2, font: :mono })
  zoq.draw_label({ x: 1, y: 2 })
  zoq.draw_sprite({ x: 1, y: 2, w: 3, h: 4, path: :ship, flip_horizontally: 1, source_h: 9 })
  zoq.draw_screenshot({ x: 1, y: 2, w: 3, h: 4, path: "shot.png", angle: 7 })
  assert_equal [
    [:draw_solid, 1, 2, 3, 4, 5, 6, 7, 8],
    [:draw_border, 1, nil, nil, nil, nil, nil, nil, nil],
    [:draw_line, 1, 2, 3, 4, nil, nil, nil, 9],
    [:draw_label, 1, 2, "5", 2, nil, nil, nil, nil, nil, "mono"],
    [:draw_label, 1, 2, "", nil, nil, nil, nil, nil, nil, nil],
    [:draw_sprite_3, 1, 2, 3, 4, "ship", nil, nil, nil, nil, nil, nil, nil, nil, nil, true, false,
     nil, nil, nil, nil, nil, 9],
    [:draw_screenshot, "shot.png", 1, 2, 3, 4, 7, nil, nil, nil, nil, nil, nil, nil, nil, false, false,
     nil, nil, nil, nil, nil, nil]
  ], recorder.calls
  # Arrays are read by position; a short label Array has its colour right after the text.
  recorder.calls.clear
  zoq.draw_solid [1, 2, 3, 4, 5, 6, 7, 8]
  zoq.draw_label [1, 2, "t", 10, 20, 30, 40]
  zoq.draw_label [1, 2, "t", 3, 1, 10, 20, 30, 40, "f.ttf"]
  assert_equal [
    [:draw_solid, 1, 2, 3, 4, 5, 6, 7, 8],
    [:draw_label, 1, 2, "t", nil, nil, 10, 20, 30, 40, nil],
    [:draw_label, 1, 2, "t", 3, 1, 10, 20, 30, 40, "f.ttf"]
  ], recorder.calls
end

test "primitives and debug dispatch on the primitive's own marker; a Hash's counts only when truthy" do
  zoq = new_runtime
  recorder = recording_draws zoq
  zoq.draw_primitive({ x: 1, text: nil, path: "a.png" })
  zoq.draw_primitive({ x: 2, primitive_marker: nil, x2: 5 })
  zoq.draw_primitive([3, 4, 5, 6].tap { |a| def a.primitive_marker; :border; end })
  assert_equal [:draw_sprite_3, :draw_line, :draw_border], recorder.calls.map { |call| call[0] }
  assert_equal [1, 2, 3], recorder.calls.map { |call| call[1] }
  assert_raises(RuntimeError, "I don't know how to use the above Hash") { zoq.draw_primitive({ text: false }) }
end

test "nil and false are skipped, draw_override draws itself, a broken primitive names its kind" do
  zoq = new_runtime
  recorder = recording_draws zoq
  pass = ZOQ::Outputs.new
  pass.solids << nil << false << OwnDrawing.new
  zoq.primitives(pass)
  assert_equal [[:draw_line, 1, 2, 3, 4, 5, 6, 7, 8]], recorder.calls
  error = assert_raises(RuntimeError, "Failed to convert") { zoq.draw_sprite(BrokenPrimitive.new) }
  assert error.message.include?("for rendering (sprite).")
  assert error.message.include?("no x here")
  # The pass's own rescue reports it, pauses the game and draws no more of that pass.
  recorder.calls.clear
  broken = ZOQ::Outputs.new
  broken.solids << { x: 1 } << BrokenPrimitive.new << { x: 2 }
  broken.labels << { x: 3 }
  zoq.primitives(broken)
  assert zoq.paused?
  assert_equal [[:draw_solid, 1, nil, nil, nil, nil, nil, nil, nil]], recorder.calls
end

test "pixel arrays are uploaded by name only when their pixels fill width times height" do
  zoq = new_runtime
  recorder = recording_draws zoq
  full = zoq.args.pixel_array(:full)
  full.width = 2
  full.height = 1.0
  full.pixels = [1, 2]
  short = zoq.args.pixel_array("short")
  short.width = 2
  short.height = 2
  short.pixels = [1]
  assert_equal nil, zoq.pixel_arrays
  # The sizes go over as Integers (assert_equal compares the classes too).
  assert_equal [[:upload_pixel_array, "full", 2, 1, [1, 2]]], recorder.calls
  # The next step starts without them.
  zoq.clear_draw_passes
  assert_equal({}, zoq.args.pixel_arrays)
end
