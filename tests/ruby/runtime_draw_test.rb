# Render submission: how the runtime turns a pass's collections into FFI::Draw calls. The
# runtime's FFI::Draw is swapped for a recorder of the calls it would make.

class DrawRecorder
  attr_reader :calls

  def initialize
    @calls = []
  end

  [:draw_solid, :draw_border, :draw_line, :draw_label, :draw_sprite_2, :draw_sprite_3, :draw_screenshot,
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
  def primitive_marker
    :solid
  end

  def x
    raise "no x here"
  end
end

class Ship
  include AttrSprite
end

test "a pass is drawn collection by collection, static after its twin, debug and reserved last" do
  zoq = new_runtime
  recorder = recording_draws zoq
  pass = zoq.args.outputs
  { static_borders: { x: 12 }, borders: { x: 11 }, static_lines: { x: 10 }, lines: { x: 9 }, static_labels: { x: 8 },
    labels: { x: 7 }, static_primitives: { x: 6, text: "p" }, primitives: { x: 5, path: "p.png" }, static_sprites: { x: 4 },
    sprites: { x: 3 }, static_solids: { x: 2 }, solids: { x: 1 }, static_reserved: { x: 16, x2: 0 }, reserved: { x: 15, x2: 0 },
    static_debug: { x: 14, primitive_marker: :solid }, debug: { x: 13, primitive_marker: :border } }.each { |name, p| pass.send(name) << p }
  assert_equal :draw_line, zoq.primitives(pass)
  assert_equal (1..16).to_a, recorder.calls.map { |call| call[1] }
  assert_equal [:draw_solid, :draw_solid, :draw_sprite_2, :draw_sprite_2, :draw_sprite_2, :draw_label,
                :draw_label, :draw_label, :draw_line, :draw_line, :draw_border, :draw_border, :draw_border,
                :draw_solid, :draw_line, :draw_line], recorder.calls.map { |call| call[0] }
  # In production the debug collections are left out; the reserved ones are still drawn.
  zoq.instance_variable_set :@production, true
  recorder.calls.clear
  zoq.primitives(pass)
  assert_equal (1..12).to_a + [15, 16], recorder.calls.map { |call| call[1] }
  # The answer is the last call's, even when later collections are empty.
  only_solids = ZOQ::Outputs.new
  only_solids.solids << { x: 1 }
  assert_equal :draw_solid, zoq.primitives(only_solids)
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
  assert_equal [2, 2], [pass.labels.length, pass.reserved.length]
end

test "each kind reads its fields through its readers, from Hashes, Arrays and objects alike" do
  zoq = new_runtime
  recorder = recording_draws zoq
  ship = Ship.new
  ship.x = 1
  ship.path = :ship
  ship.flip_vertically = 0
  [
    [:draw_solid, { x: 1, y: 2, w: 3, h: 4, r: 5, g: 6, b: 7, a: 8 }, [:draw_solid, 1, 2, 3, 4, 5, 6, 7, 8]],
    [:draw_solid, { rect: { x: 1, y: 2, w: 3, h: 4 }, rgba: [5, 6, 7, 8] }, [:draw_solid, 1, 2, 3, 4, 5, 6, 7, 8]],
    [:draw_solid, { x: 9, point: [1, 2], rgb: { r: 5 }, b: 7 }, [:draw_solid, 9, 2, nil, nil, 5, nil, 7, nil]],
    [:draw_border, { x: 1 }, [:draw_border, 1, nil, nil, nil, nil, nil, nil, nil]],
    [:draw_border, [1, 2, 3, 4, "p.png"].border, [:draw_border, 1, 2, 3, 4, 0, 0, 0, 255]],
    [:draw_line, { x: 1, y: 2, x2: 3, y2: 4, a: 9 }, [:draw_line, 1, 2, 3, 4, nil, nil, nil, 9]],
    [:draw_line, [1, 2, 3, 4, 5, 6, 7, 8].line, [:draw_line, 1, 2, 3, 4, 5, 6, 7, 8]],
    [:draw_label, { x: 1, y: 2, text: 5, size_enum: 2, font: :mono }, [:draw_label, 1, 2, "5", 2, nil, nil, nil, nil, nil, "mono"]],
    [:draw_label, { x: 1, y: 2, text: nil, font: false }, [:draw_label, 1, 2, "", nil, nil, nil, nil, nil, nil, nil]],
    [:draw_label, [1, 2, "t", 10, 20, 30, 40].label, [:draw_label, 1, 2, "t", 0, 0, 10, 20, 30, 40, nil]],
    [:draw_label, [1, 2, "t", 3, 1, 10, 20, 30, 40, "f.ttf"].label, [:draw_label, 1, 2, "t", 3, 1, 10, 20, 30, 40, "f.ttf"]],
    [:draw_sprite, { x: 1, y: 2, w: 3, h: 4, path: :ship, flip_horizontally: 1, source_h: 9 },
     [:draw_sprite_3, 1, 2, 3, 4, "ship", nil, nil, nil, nil, nil, nil, nil, nil, nil, true, false, nil, nil, nil, nil, nil, 9]],
    # Nothing set past path, angle and alpha: the short form, which writes the same record.
    [:draw_sprite, [1, 2, 3, 4, "s.png", 90, 128].sprite, [:draw_sprite_2, 1, 2, 3, 4, "s.png", 90, 128]],
    [:draw_sprite, { x: 1, y: 2, w: 3, h: 4, path: "s.png", flip_vertically: false }, [:draw_sprite_2, 1, 2, 3, 4, "s.png", nil, nil]],
    [:draw_sprite, { x: 1, y: 2, w: 3, h: 4, path: "s.png", rgb: [1, 2, 3] },
     [:draw_sprite_3, 1, 2, 3, 4, "s.png", nil, nil, 1, 2, 3, nil, nil, nil, nil, false, false, nil, nil, nil, nil, nil, nil]],
    [:draw_sprite, ship,
     [:draw_sprite_3, 1, nil, nil, nil, "ship", nil, nil, nil, nil, nil, nil, nil, nil, nil, false, true, nil, nil, nil, nil, nil, nil]],
    [:draw_screenshot, { x: 1, y: 2, w: 3, h: 4, path: "shot.png", angle: 7 },
     [:draw_screenshot, "shot.png", 1, 2, 3, 4, 7, nil, nil, nil, nil, nil, nil, nil, nil, false, false, nil, nil, nil, nil, nil, nil]]
  ].each do |method, primitive, call|
    recorder.calls.clear
    zoq.send method, primitive
    assert_equal [call], recorder.calls, "#{method} #{primitive}"
  end
end

test "primitives and debug dispatch on the primitive's own marker; a Hash's counts only when truthy" do
  zoq = new_runtime
  recorder = recording_draws zoq
  assert_equal nil, zoq.draw_primitive(nil)
  zoq.draw_primitive({ x: 1, text: nil, path: "a.png" })
  zoq.draw_primitive({ x: 2, primitive_marker: nil, x2: 5 })
  zoq.draw_primitive([3, 4, 5, 6].border)
  assert_equal [:draw_sprite_2, :draw_line, :draw_border], recorder.calls.map { |call| call[0] }
  assert_equal [1, 2, 3], recorder.calls.map { |call| call[1] }
  error = assert_raises(RuntimeError, "I don't know how to use the above Hash with SDL's FFI.") { zoq.draw_primitive({ text: false }) }
  assert error.message.start_with?("* ERROR:\n")
end

test "nil and false are skipped, draw_override draws itself, a broken primitive names its kind" do
  zoq = new_runtime
  recorder = recording_draws zoq
  pass = ZOQ::Outputs.new
  pass.solids << nil << false << OwnDrawing.new
  pass.solids.push nil, false
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
  [[:full, 2, 1.0, [1, 2]], ["short", 2, 2, [1]], [:negative, -1, -2, [1, 2]], [:fraction, 2.5, 2, [1, 2, 3, 4, 5]],
   [:empty, 0, 0, []],
   [:missing, 1, 1, nil]].each do |name, width, height, pixels|
    array = zoq.args.pixel_array(name)
    array.width = width
    array.height = height
    array.pixels = pixels
  end
  assert_equal nil, zoq.pixel_arrays
  # The sizes go over as Integers (assert_equal compares the classes too).
  assert_equal [[:upload_pixel_array, "full", 2, 1, [1, 2]], [:upload_pixel_array, "empty", 0, 0, []]], recorder.calls
  assert zoq.args.pixel_array("full").equal?(zoq.args.pixel_array(:full))
  # The next step starts without them.
  zoq.clear_draw_passes
  assert_equal({}, zoq.args.pixel_arrays)
end

# Last: the hook stays on the top-level object for the rest of the file.
test "a game that draws for itself is handed each pass" do
  zoq = new_runtime
  recorder = recording_draws zoq
  zoq.args.outputs[:rt].solids << { x: 1 }
  def self.primitives_override; end
  def self.tick_render args, pass
    [:own, pass.target]
  end
  assert_equal [:own, "rt"], zoq.primitives(zoq.args.outputs[:rt])
  assert_equal [], recorder.calls
end
