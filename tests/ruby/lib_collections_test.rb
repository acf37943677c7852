# Hashes as primitives and rectangles, Array pairs, grids, picks and the guarded +.

test "rectangle and colour readers fall back to their rect, point, rgb and rgba entries, and 0 counts as set" do
  assert_rows [[30, { x: 10, w: 20 }.right], [7, { y: 4, h: 3 }.top], [5, { rect: { x: 5 } }.x], [6, { point: { y: 6 } }.y],
               [0, { x: 0, rect: { x: 5 } }.x], [8, { rect: { w: 8, h: 9 } }.w], [9, { rect: { w: 8, h: 9 } }.h],
               [nil, {}.x], [nil, { point: nil }.y], [5, { x: 5 }.left], [6, { y: 6 }.bottom], [5, { x: 5 }.x1],
               [nil, { x: 10 }.right], [20, { w: 20 }.right],
               [4, { rgba: [1, 2, 3, 4] }.a], [9, { r: nil, rgb: [9, 8, 7] }.r], [8, { rgb: [9, 8, 7] }.g],
               [nil, { rgb: [9, 8, 7] }.a], [1, { r: 1, rgb: [9, 8, 7] }.r], [3, { rgba: [1, 2, 3, 4] }.b],
               [40, { rgb: { b: 40 } }.b], [0, { a: 0, rgba: [1, 2, 3, 4] }.a]]
end

test "writers store the key and answer the value; the primitive marker is given or guessed" do
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
  assert_rows [[:label, { text: "a" }.primitive_marker], [:sprite, { path: "a.png" }.primitive_marker],
               [:line, { x2: 5 }.primitive_marker], [nil, { x: 1 }.primitive_marker], [:solid, {}.solid.primitive_marker],
               [:border, { text: "a" }.border.primitive_marker]]
  h = {}
  assert h.sprite.equal?(h) && h.rect.equal?(h)
end

test "include? searches the hash's text, not its keys" do
  assert_equal [true, true, false], [{ a: 1 }.include?("a"), { a: 1 }.include?("=>1"), { a: 1 }.include?("b")]
  assert_raises(TypeError) { { a: 1 }.include?(:a) }
end

test "shifted and anchored rectangles are new hashes" do
  h = { x: 10, y: 10, w: 4, h: 2 }
  anchored = h.anchor_rect(0.5, 0.5)
  assert_equal [8.0, 9.0, 10], [anchored.x, anchored.y, h.x]
  same = h.anchor_rect(0, 0)
  assert_equal [10, 10], [same.x, same.y]
  assert_equal({ w: 3, x: 2, y: 5 }, { w: 3 }.shift_rect(2, 5))
  assert_equal 12, h.shift_rect(2, 0).x
end

test "associate merges, runs its block, and re-raises failures with their context; hashes make entities" do
  assert_equal({ a: 1, b: 2 }, { a: 1 }.associate(b: 2))
  assert_equal({ a: 1 }, { a: 1 }.associate)
  assert_equal 2, { a: 1 }.associate(b: 2) { |h| h.length }
  e = assert_raises(RuntimeError, "** method: :associate") { { a: 1 }.associate { |h| raise "no" } }
  assert e.message.include?("** args: [nil]")
  entity = { hp: 3 }.new_entity(:enemy) { |e| e.speed = 2 }
  assert_equal [3, 2, :enemy], [entity.hp, entity.speed, entity.entity_type]
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
  assert_equal [1, [:a, 1]], [1] + { a: 1 }
  e = assert_raises(RuntimeError, "* ERROR:\n(class Integer) doesn't look like an Array.\n\n3\n\nAttempted to invoke :+ against something that doesn't look like an Array (it's a(n) (class Integer)). Did you mean to use << instead of :+?") { [1, 2] + 3 }
  assert e.message.end_with?("adds multiple items and expects an Array.\n\n")
  assert_raises(RuntimeError, "doesn't look like an Array") { [1] + nil }
end

test "value, rest, pairs and filtering" do
  assert_rows [[[20, 30], [10, 20, 30].rest], [[], [10].rest],
               [[[1, 2], [3, 4], [5]], [1, 2, 3, 4, 5].to_a_pairs], [{ a: 1, b: 2 }, [[:a, 1], [:b, 2]].pairs_to_hash],
               [[1, false, 2], [1, nil, false, 2].reject_nil], [[1, 2], [1, nil, false, 2].reject_false],
               [[1, 2], [1, nil, false, 2].reject_falsey], [[1, false], Array.reject_nil([1, nil, false])],
               [[1], Array.reject_falsey([1, nil, false])], [true, [1, 2].include_any?(5, 2)], [false, [1, 2].include_any?(5, 6)],
               [[[:a, 0], [:b, 1]], [:a, :b].map_with_index { |v, i| [v, i] }],
               [[[:a, 1], [:b, 2]], [:a, :b].map_with_index(1) { |v, i| [v, i] }],
               [[[0, 0, :a], [0, 1, :b], [1, 0, :c]], [[:a, :b], [:c]].map_2d { |r, c, v| [r, c, v] }]]
end

test "sample picks within the array and never from an empty one" do
  assert_equal [nil, 5], [[].sample, [5].sample]
  counts = Hash.new(0)
  3000.times { counts[[1, 2, 3].sample] += 1 }
  assert_equal [1, 2, 3], counts.keys.sort
  # The two ends are half as likely as the middle.
  assert counts[2] > counts[1] * 1.5 && counts[2] > counts[3] * 1.5, counts.inspect
end

test "rectangles in an array are tested for overlap, and the old name is refused" do
  walls = [{ x: 0, y: 0, w: 10, h: 10 }, { x: 100, y: 100, w: 10, h: 10 }]
  assert_equal [true, false], [{ x: 5, y: 5, w: 10, h: 10 }, { x: 50, y: 50, w: 10, h: 10 }].map { |r| walls.any_intersect_rect?(r) }
  assert_raises(RuntimeError, "* ERROR:\n~Array#any_intersects_rect?~ (with an \"s\") has been removed.\nUse ~Array#any_intersect_rect?~ instead (remove the \"s\").\n\n* NOTE:\n") { walls.any_intersects_rect?({}) }
end
