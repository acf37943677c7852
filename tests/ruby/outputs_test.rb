# args.outputs: what << makes of what it is given, Arrays read as primitives, the
# collections' lifetimes and the refused old forms.

class Ship
  include AttrSprite
end

# What a collection holds, as plain values, and each element's kind.
def contents collection
  [collection.map { |p| p.is_a?(Array) ? [].concat(p) : p }, collection.map { |p| p.primitive_marker }]
end

test "<< adds one primitive, many, or nested ones, and marks plain Arrays as the collection's kind" do
  zoq = new_runtime
  outputs = zoq.args.outputs
  hash = { x: 1, path: "a.png" }
  ship = Ship.new
  marked = [0, 0, 1, 1, "p.png"].sprite
  [
    [:solids, [10, 20, 30, 40], [[[10, 20, 30, 40]], [:solid]]],
    [:solids, [[10, 20, 30, 40], [50, 60, 70, 80]], [[[10, 20, 30, 40], [50, 60, 70, 80]], [:solid, :solid]]],
    [:solids, [[10, 20], [30, 40]], [[[10, 20, 30, 40]], [:solid]]],
    [:borders, [[0, 0, 10, 10], [255, 0, 0]], [[[0, 0, 10, 10, 255, 0, 0]], [:border]]],
    [:solids, [[1, 2, 3, 4], nil, [[5, 6, 7, 8]]], [[[1, 2, 3, 4], [5, 6, 7, 8]], [:solid, :solid]]],
    [:lines, (1..4), [[[1, 2, 3, 4]], [:line]]],
    [:labels, [[1, 2, "a"], [3, 4, "b"]], [[[1, 2, "a"], [3, 4, "b"]], [:label, :label]]],
    [:solids, nil, [[], []]], [:solids, [], [[], []]], [:solids, 5, [[], []]], [:solids, "text", [[], []]],
    [:solids, { x: 1 }, [[{ x: 1 }], [nil]]],
    [:sprites, [hash, ship], [[hash, ship], [:sprite, :sprite]]],
    [:static_solids, [marked, [1, 1, 1, 1].border], [[[0, 0, 1, 1, "p.png"], [1, 1, 1, 1]], [:sprite, :border]]],
    [:primitives, [1, 2, 3, 4].solid, [[[1, 2, 3, 4]], [:solid]]],
    [:debug, [[1, 2, "x"].label, { x: 1, x2: 2 }], [[[1, 2, "x"], { x: 1, x2: 2 }], [:label, :line]]]
  ].each do |name, given, expected|
    collection = outputs.send(name)
    collection.clear
    assert_equal collection, (collection << given)
    assert_equal expected, contents(collection), "#{name} << #{given.inspect}"
  end
  assert_equal({ x: 1, path: "a.png" }, hash)
  # A value that says nothing of what it is cannot be added.
  assert_raises(RuntimeError, "any?") { outputs.solids << Object.new }
end

test "ids are found from every collection of the same lifetime" do
  zoq = new_runtime
  outputs = zoq.args.outputs
  hero = { x: 1, id: :hero }
  outputs.solids << hero
  outputs.static_labels << [1, 2, "s"].label.tap { |l| def l.id; :sign; end }
  assert outputs.labels[:hero].equal?(hero) && outputs.screenshots[:hero].equal?(hero)
  assert_equal [nil, [1, 2, "s"], 1], [outputs.static_solids[:hero], outputs.static_borders[:sign], outputs.solids[0][:x]]
end

test "plain and primitives collections refuse unmarked Arrays with a fix in the console" do
  zoq = new_runtime
  outputs = zoq.args.outputs
  error = assert_raises(RuntimeError) { outputs.primitives << [1, 2, 3, 4] }
  assert_equal "* ERROR:\nCannot add [1, 2, 3, 4] to outputs.(primitives|debug|reserved).\n\nAuto-guessing the primitive has been deprecated. You need to mark [1, 2, 3, 4] explicitly as a primitive. To do so, do one of the following:\n\n[1, 2, 3, 4].solid\n[1, 2, 3, 4].label\n[1, 2, 3, 4].sprite\n[1, 2, 3, 4].line\n[1, 2, 3, 4].border\n\n", error.message
  assert_equal "$zoq.grep_source [\".primitives\", \"you may need to call one of the methods above on this line.\"]",
               zoq.console.current_input_str
  # The console keeps the first command of a tick in its prompt.
  Kernel.global_tick_count += 1
  error = assert_raises(RuntimeError) { outputs.reserved << [:solid, 1, 2] }
  assert error.message.include?("The symbol marker has been deprecated. You need to remove the symbol and instead do the following:\n\n[1, 2].solid\n[1, 2].label\n")
  assert error.message.end_with?("[1, 2].border\n\n")
  assert zoq.console.current_input_str.start_with?("$zoq.grep_source [\":solid\", \"remove the symbol and call the .solid method on the array.\"], [\":label\", ")
  assert_equal [], outputs.primitives
end

test "marked Arrays answer the readers of their kind by position" do
  [
    [[1, 2, "t", 3, 1].label, [:size_enum, :alignment_enum, :r, :font], [3, 1, nil, nil]],
    [[1, 2, "t", 10, 20, 30, 40].label, [:size_enum, :alignment_enum, :r, :g, :b, :a], [0, 0, 10, 20, 30, 40]],
    [[1, 2, "t", 3, 1, 10, 20, 30, 40, "f.ttf"].label, [:r, :a, :font, :w], [10, 40, "f.ttf", "t"]],
    [[0, 0, 10, 10, "p.png"].solid, [:r, :g, :b, :a], [0, 0, 0, 255]],
    [[0, 0, nil, nil, 5, 6, 7, 8].border, [:w, :h, :r, :a, :right, :top], [0, 0, 5, 8, 0, 0]],
    [[5, 6, 7, 8, "s.png", 90, 128].sprite, [:x, :w, :path, :angle, :a, :r, :tile_w, :source_h], [5, 7, "s.png", 90, 128, nil, nil, nil]],
    [[1, 2, 10, 20, 4, 5, 6, 7].line, [:x1, :y1, :x2, :y2, :r, :a], [1, 2, 10, 20, 4, 7]],
    [[[3, 4]].point, [:x, :y, :w, :right, :point], [3, 4, 0, 3, [3, 4]]],
    [[1, 2, 3, 4, 255], [:right, :x, :top], [4, 1, 6]]
  ].each do |primitive, readers, expected|
    assert_equal expected, readers.map { |name| primitive.send(name) }, "#{primitive} #{readers}"
  end
  assert_raises(RuntimeError, "Lines do not support :w.") { [0, 0, 1, 1].line.w }
  assert_raises(RuntimeError, "rect.w_half has been deprecated. Use rect.w.half instead.") { [0, 0, 2, 2].w_half }
  assert_raises(RuntimeError, "It doesn't look like this label is structured in such a way that allows for text_size.") do
    [1, 2, "t", 1, 2, 3, 4].label.size_enum = 2
  end
  # Conversions answer new primitives and keep what follows the rectangle.
  rect = [1, 2, 3, 4, 255]
  assert rect.rect.is_a?(ZOQ::Primitive::Rect)
  assert_rows [[[1, 2, 3, 4], rect.rect], [[6, 2, 3, 4, [255]], rect.rect_shift_right(5)],
               [[13.5, 13.0, 3, 4, 255], rect.center_inside_rect(10, 10, 10, 10)],
               [{ x: 13.5, y: 13.0, w: 3, h: 4 }, { x: 1, y: 2, w: 3, h: 4 }.center_inside_rect([10, 10, 10, 10])]]
  assert_equal({ x: 1, y: 2, w: 3, h: 4, r: 9, g: 0, b: 0, a: 255, primitive_marker: :solid },
               [1, 2, 3, 4, "p"].solid.merge(r: 9))
  assert_equal({ x: 1, y: 2, text: "t", size_enum: 0, alignment_enum: 0, r: 1, g: 2, b: 3, a: 4, font: nil,
                 primitive_marker: :label }, [1, 2, "t", 1, 2, 3, 4].label.to_hash)
  assert_equal ["s.png", 5, :sprite], [0, 0, 1, 1, "s.png"].sprite.merge(x: 5).values_at(:path, :x, :primitive_marker)
  converted = [[0, 0, 1, 1], [[2, 2, 1, 1]]].sprites
  assert_equal [[[0, 0, 1, 1], [2, 2, 1, 1]], [:sprite, :sprite]], [converted, converted.map { |s| s.primitive_marker }]
  # An Array that has not said what it is cannot answer a colour or become a Hash.
  error = assert_raises(RuntimeError) { [1, 2].to_hash }
  assert error.message.start_with?("* ERROR:\nThe invocation of :to_hash is ambiguous on [1, 2] ")
  assert error.message.end_with?("self.solid.to_hash\nself.label.to_hash\nself.sprite.to_hash\nself.line.to_hash\nself.border.to_hash\nself.rect.to_hash\nself.point.to_hash\n\n")
  assert_raises(RuntimeError, "self.border.a\n\n") { [1, 2].a }
end

test "a sprite Array's readers and writers use the positions of the host's table" do
  names = ZOQ::Host::SPRITE_ARGUMENTS
  sprite = names.each_index.map { |i| i + 100 }.sprite
  assert_equal names.each_index.map { |i| i + 100 }, names.map { |name| sprite.send(name) }
  names.each_with_index { |name, i| sprite.send(:"#{name}=", -i) }
  assert_equal names.each_index.map { |i| -i }, sprite
end

test "clear_non_static keeps the static collections, clear empties everything" do
  zoq = new_runtime
  outputs = zoq.args.outputs
  names = [:solids, :sprites, :labels, :lines, :borders, :primitives, :debug, :reserved]
  statics = names.map { |name| :"static_#{name}" }
  fill = lambda do
    (names + statics + [:screenshots]).each { |name| outputs.send(name) << { x: 1, id: name, primitive_marker: :solid } }
    outputs.background_color = [1, 2, 3]
  end
  fill.call
  at_tick(0) { outputs.clear_non_static }
  # Screenshots asked for before the first tick survive it.
  assert_equal [1, 0, 0, 0, 0, 0, 0, 0, 1], ([:screenshots] + names).map { |name| outputs.send(name).length }
  assert_equal [1] * 8, statics.map { |name| outputs.send(name).length }
  assert_equal [230, 230, 230, 255], outputs.instance_variable_get(:@background_color)
  at_tick(5) { outputs.clear_non_static }
  assert outputs.static_solids[:static_solids]
  outputs.clear_non_static_reserved
  assert_equal [0, 0], [outputs.screenshots.length, outputs.reserved.length]
  fill.call
  at_tick(5) { outputs.clear }
  # reserved is the runtime's to empty, every frame.
  assert_equal [0] * 7 + [1] + [0] * 9, (names + statics + [:screenshots]).map { |name| outputs.send(name).length }
  assert_equal nil, outputs.static_solids[:static_solids]
end

# The colours themselves, of the window and of targets, are in runtime_services_test.rb.
test "background colours are checked when set" do
  run_steps boot_game("def tick args; end"), 1
  outputs = $zoq.args.outputs
  target = $zoq.args.outputs[:glow]
  error = assert_raises(RuntimeError) { target.background_color = true }
  assert error.message.start_with?("* ERROR: Failed to set background_color for Output.\nThe ~value~ sent to\n\n  args.outputs[:glow].background_color=\n\nlooks invalid\n\n  true (TrueClass)\n\n")
  assert_raises(RuntimeError, "  args.outputs.background_color = [255, 0, 0] # red background\n") { outputs.background_color = true }
end

test "the old forms raise with their replacement and leave a source search in the console" do
  zoq = new_runtime
  outputs = zoq.args.outputs
  [
    [-> { outputs.solids = [] }, "* ERROR:\nThe solids property on outputs no longer supports\nreassignment. Please use the << operator instead. Or if you need to\nclear it use the .clear method instead.\n\n",
     "$zoq.grep_source [\".solids =\", \"remove assignment and use << or .clear instead.\"]"],
    [-> { outputs.static_reserved = [] }, "* ERROR:\nThe static_reserved property on outputs no longer supports\n",
     "$zoq.grep_source [\".static_reserved =\", \"remove assignment and use << or .clear instead.\"]"],
    [-> { outputs.static_background_color = [1] }, "* ERROR:\nThe property outputs.static_background_color= has been renamed.\nUse outputs.background_color= instead.\n\n",
     "$zoq.grep_source [\".static_background_color =\", \"property name changed to background_color=.\"]"],
    [-> { outputs.static_background_color }, "* ERROR:\nThe property outputs.static_background_color has been renamed.\nUse outputs.background_color instead.\n\n",
     "$zoq.grep_source [\".static_background_color\", \"property name changed to background_color.\"]"],
    [-> { outputs.static_debug + [1] }, "* ERROR:\nThe + has been deprecated on the output collection\nnamed args.outputs.debug.\n\n",
     "$zoq.grep_source [\".debug +=\", \"change the += operator to <<.\"], [\".debug =\", \"remove assignment and use <<.\"], [\".debug +\", \"change + operator to <<.\"]"]
  ].each do |call, message, command|
    Kernel.global_tick_count += 1
    error = assert_raises(RuntimeError) { call.call }
    assert error.message.start_with?(message), error.message
    assert_equal command, zoq.console.current_input_str
  end
end
