# Hashes as primitives and rectangles, Array pairs, grids, picks and the guarded +.

test "rectangle readers fall back to the rect and point entries, and 0 counts as set" do
  assert_equal 30, { x: 10, w: 20 }.right
  assert_equal 7, { y: 4, h: 3 }.top
  assert_equal 5, { rect: { x: 5 } }.x
  assert_equal 6, { point: { y: 6 } }.y
  assert_equal 0, { x: 0, rect: { x: 5 } }.x
  assert_equal 8, { rect: { w: 8, h: 9 } }.w
  assert_equal 9, { rect: { w: 8, h: 9 } }.h
  assert_equal nil, {}.x
  assert_equal nil, { point: nil }.y
  assert_equal 5, { x: 5 }.left
  assert_equal 6, { y: 6 }.bottom
  assert_equal 5, { x: 5 }.x1
  assert_equal nil, { x: 10 }.right
  assert_equal 20, { w: 20 }.right
end

test "colours come from their own key, then from rgb, then from rgba" do
  assert_equal 4, { rgba: [1, 2, 3, 4] }.a
  assert_equal 9, { r: nil, rgb: [9, 8, 7] }.r
  assert_equal 8, { rgb: [9, 8, 7] }.g
  assert_equal nil, { rgb: [9, 8, 7] }.a
  assert_equal 1, { r: 1, rgb: [9, 8, 7] }.r
  assert_equal 3, { rgba: [1, 2, 3, 4] }.b
  assert_equal 40, { rgb: { b: 40 } }.b
  assert_equal 0, { a: 0, rgba: [1, 2, 3, 4] }.a
end

test "writers store the key and answer the value" do
  h = {}
  assert_equal 3, (h.x = 3)
  h.y1 = 4
  h.w = 5
  h.h = 6
  h.r = 7
  h.path = "p.png"
  h.angle = 90
  h.x2 = 1
  assert_equal({ x: 3, y: 4, w: 5, h: 6, r: 7, path: "p.png", angle: 90, x2: 1 }, h)
  h.x1 = 9
  assert_equal 9, h[:x]
  assert_equal "p.png", h.path
  assert_equal 1, h.x2
  assert_equal 7, { id: 7 }.id
  assert_equal "t", { text: "t" }.text
end

test "the primitive marker is given or guessed from text, path and x2" do
  assert_equal :label, { text: "a" }.primitive_marker
  assert_equal :sprite, { path: "a.png" }.primitive_marker
  assert_equal :line, { x2: 5 }.primitive_marker
  assert_equal nil, { x: 1 }.primitive_marker
  assert_equal :solid, {}.solid.primitive_marker
  assert_equal :border, { text: "a" }.border.primitive_marker
  h = {}
  assert h.sprite.equal?(h)
  assert h.rect.equal?(h)
  assert h.to_hash.equal?(h)
  assert h.serialize.equal?(h)
end

test "include? searches the hash's text, not its keys" do
  assert_equal true, { a: 1 }.include?("a")
  assert_equal true, { a: 1 }.include?("=>1")
  assert_equal false, { a: 1 }.include?("b")
  assert_raises(TypeError) { { a: 1 }.include?(:a) }
  assert_equal true, { a: 1 }.key?(:a)
end

test "shifted and anchored rectangles are new hashes" do
  h = { x: 10, y: 10, w: 4, h: 2 }
  anchored = h.anchor_rect(0.5, 0.5)
  assert_equal 8.0, anchored.x
  assert_equal 9.0, anchored.y
  assert_equal 10, h.x
  same = h.anchor_rect(0, 0)
  assert_equal 10, same.x
  assert_equal 10, same.y
  shifted = { w: 3 }.shift_rect(2, 5)
  assert_equal({ w: 3, x: 2, y: 5 }, shifted)
  assert_equal 12, h.shift_rect(2, 0).x
end

test "associate merges, runs its block, and re-raises failures with their context" do
  assert_equal({ a: 1, b: 2 }, { a: 1 }.associate(b: 2))
  assert_equal({ a: 1 }, { a: 1 }.associate)
  assert_equal 2, { a: 1 }.associate(b: 2) { |h| h.length }
  e = assert_raises(RuntimeError, "** method: :associate") { { a: 1 }.associate { |h| raise "no" } }
  assert e.message.include?("** args: [nil]")
end

test "hashes make entities" do
  entity = { hp: 3 }.new_entity(:enemy) { |e| e.speed = 2 }
  assert_equal 3, entity.hp
  assert_equal 2, entity.speed
  assert_equal :enemy, entity.entity_type
end

test "pretty_format indents the first pair by two and the others by four" do
  assert_equal "{\n  :a => 1,\n    :b => 2\n}", { a: 1, b: 2 }.pretty_format
  assert_equal "{\n  \"k\" => \"v\",\n    5 => nil,\n    :s => :t\n}", Hash.pretty_format({ "k" => "v", 5 => nil, s: :t })
  nested = { a: { b: 1, c: 2 } }.pretty_format
  assert_equal "{\n  :a => {\n          :b => 1,\n            :c => 2\n        }\n}", nested
  assert_equal "{\n..:a.=>.1\n}", { a: 1 }.pretty_format(".").gsub(" ", ".")
end

test "product pairs every element, and with a block flattens the results" do
  assert_equal [[1, 1], [1, 2], [2, 1], [2, 2]], [1, 2].product
  assert_equal [[1, :a], [2, :a]], [1, 2].product([:a])
  assert_equal [1, 3, 1, 4, 2, 3, 2, 4], [1, 2].product([3, 4]) { |x, y| [[x], y] }
  assert_equal [1, 3, 2, 4, 1, 4, 2, 4, 2, 3, 2, 4, 2, 4, 2, 4], [1, 2].product([3, 4]) { |x, y, last, other_last| [x, y, last, other_last] }
end

test "the guarded + adds any Enumerable and refuses anything else" do
  assert_equal [1, 2, 3, 4], [1, 2] + (3..4)
  assert_equal [1, 2, 3], [1, 2] + [3]
  assert_equal [1, [:a, 1]], [1] + { a: 1 }
  e = assert_raises(RuntimeError, "* ERROR:\n(class Integer) doesn't look like an Array.\n\n3\n\nAttempted to invoke :+ against something that doesn't look like an Array (it's a(n) (class Integer)). Did you mean to use << instead of :+?") { [1, 2] + 3 }
  assert e.message.end_with?("adds multiple items and expects an Array.\n\n")
  assert_raises(RuntimeError, "doesn't look like an Array") { [1] + nil }
  assert_equal [1, 2], [1].__original_add__([2])
  list = [1]
  list << 2
  assert_equal [1, 2], list
  assert_equal [1, 2, 3], list.__original_add_single__(3)
end

test "value, rest, pairs and filtering" do
  assert_equal 30, [10, 20, 30].value(-1)
  assert_equal nil, [10, 20, 30].value(3)
  assert_equal 10, [10, 20, 30].value(0)
  assert_equal [20, 30], [10, 20, 30].rest
  assert_equal [], [10].rest
  assert_equal [[1, 2], [3, 4], [5]], [1, 2, 3, 4, 5].to_a_pairs
  assert_equal({ a: 1, b: 2 }, [[:a, 1], [:b, 2]].pairs_to_hash)
  assert_equal [1, false, 2], [1, nil, false, 2].reject_nil
  assert_equal [1, 2], [1, nil, false, 2].reject_false
  assert_equal [1, 2], [1, nil, false, 2].reject_falsey
  assert_equal [1, false], Array.reject_nil([1, nil, false])
  assert_equal [1], Array.reject_falsey([1, nil, false])
  assert [1, 2].include_any?(5, 2)
  refute [1, 2].include_any?(5, 6)
  assert_equal [[:a, 0], [:b, 1]], [:a, :b].map_with_index { |v, i| [v, i] }
  assert_equal [[:a, 1], [:b, 2]], [:a, :b].map_with_index(1) { |v, i| [v, i] }
  assert_equal [1, 2], [1, 2].serialize
end

test "map_2d gives the row, the column and the value, rows first" do
  assert_equal [[0, 0, :a], [0, 1, :b], [1, 0, :c]], [[:a, :b], [:c]].map_2d { |r, c, v| [r, c, v] }
end

test "sample picks within the array and never from an empty one" do
  assert_equal nil, [].sample
  assert_equal 5, [5].sample
  counts = Hash.new(0)
  3000.times { counts[[1, 2, 3].sample] += 1 }
  assert_equal [1, 2, 3], counts.keys.sort
  # The two ends are half as likely as the middle.
  assert counts[2] > counts[1] * 1.5
  assert counts[2] > counts[3] * 1.5
end

test "rectangles in an array are tested for overlap, and the old name is refused" do
  walls = [{ x: 0, y: 0, w: 10, h: 10 }, { x: 100, y: 100, w: 10, h: 10 }]
  assert walls.any_intersect_rect?({ x: 5, y: 5, w: 10, h: 10 })
  refute walls.any_intersect_rect?({ x: 50, y: 50, w: 10, h: 10 })
  assert_raises(RuntimeError, "* ERROR:\n~Array#any_intersects_rect?~ (with an \"s\") has been removed.\nUse ~Array#any_intersect_rect?~ instead (remove the \"s\").\n\n* NOTE:\n") { walls.any_intersects_rect?({}) }
end
