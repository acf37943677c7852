# The save text of the game state: entities written as Ruby literal text and rebuilt from
# the evaluated text, as saving and loading the state does.

def save_and_load value
  text = value.to_s
  eval "$load_data = #{text}"
  ZOQ::Entity.parse_serialization_data $load_data
end

test "an entity is written as its property hash" do
  ZOQ::Entity.__reset_id__!
  e = ZOQ::OpenEntity.new
  e.x = 100
  assert_equal "{:entity_id=>1, :entity_keys_by_ref=>{}, :x=>100}", e.to_s
  assert_equal e.to_s, e.inspect
  e.name = "a \"quoted\"\nline \#{not code}"
  e.tags = [:a, nil, true, false, -3, 2.5]
  assert_equal "{:entity_id=>1, :entity_keys_by_ref=>{}, :x=>100, :name=>\"a \\\"quoted\\\"\\nline \\\#{not code}\", :tags=>[:a, nil, true, false, -3, 2.5]}", e.to_s
end

test "a loaded state has its values, its nested entities and their names" do
  state = ZOQ::OpenEntity.new
  state.player.x = 10
  state.player.inventory = ["sword", { count: 2 }]
  state["label"] = :hello
  loaded = save_and_load state
  assert loaded.is_a?(ZOQ::OpenEntity) && loaded.player.is_a?(ZOQ::OpenEntity)
  assert_equal [state.entity_id, :player, 10, ["sword", { count: 2 }], :hello],
               [loaded.entity_id, loaded.player.as_hash[:entity_name], loaded.player.x, loaded.player.inventory, loaded["label"]]
end

test "two properties that held one Array hold one Array again after loading" do
  e = ZOQ::OpenEntity.new
  list = [1, 2]
  e.a = e.b = list
  e.c = [1, 2]
  loaded = save_and_load e
  assert loaded.a.equal?(loaded.b) && !loaded.a.equal?(loaded.c)
  loaded.a << 3
  assert_equal [1, 2, 3], loaded.b
end

test "save, load, change, save, load keeps every value, nested entities included" do
  state = ZOQ::OpenEntity.new
  shared = [:s]
  state.player.hp = 1
  state.player.lives = 1
  state.player.mode = :walk
  state.player.pose = :walk
  state.player.left = shared
  state.player.right = shared
  state.player.ok = true
  state.player.done = true
  loaded = save_and_load state
  assert loaded.player.left.equal?(loaded.player.right)

  loaded.player.hp = 2
  loaded.player.mode = :run
  loaded.player.right = [:t]
  loaded.player.ok = false
  p = save_and_load(loaded).player
  assert_equal [2, 1, :run, :walk, [:s], [:t], false, true], [p.hp, p.lives, p.mode, p.pose, p.left, p.right, p.ok, p.done]
end

test "values the interpreter keeps by value are not recorded as shared" do
  e = ZOQ::OpenEntity.new
  { a: 1, b: 1, c: :x, d: :x, f: nil, g: nil }.each { |key, value| e[key] = value }
  e.to_s
  assert_equal({}, e.as_hash[:entity_keys_by_ref])
end

test "Floats, Infinity, NaN, odd keys, Integer keys and the counters of coerced nils read back" do
  e = ZOQ::OpenEntity.new
  values = { sum: 0.1 + 0.2, big: 1.0e20, tiny: 1.0e-7, third: 1.0 / 3, up: Float::INFINITY, down: -Float::INFINITY,
             alive?: true, :[] => 0, :< => 1, :x= => 2, ok!: :>=, "text key" => :"odd symbol", 0 => :first, 1 => :second }
  values.each { |k, v| e[k] = v }
  e.nan = Float::NAN
  e.missing
  nil.__check_thrash__!(:empty?)
  e.other
  nil.__check_thrash__!(:[])
  loaded = save_and_load e
  values.each { |k, v| assert_equal v, loaded[k], k.inspect }
  assert loaded.nan.nan?
  assert loaded.__contains_array_indexers__
  assert_equal({ missing: { empty?: 1 }, other: { :[] => 0 } }, loaded.as_hash[:__thrash_count__])
end

test "entities inside Arrays are rebuilt; a Hash without an id stays a plain Hash" do
  state = ZOQ::OpenEntity.new
  state.enemies = [state.new_entity(:enemy, { hp: 1 }), [state.new_entity(:enemy, { hp: 2 })]]
  state.table = { inner: state.new_entity(:cell) }
  loaded = save_and_load state
  assert loaded.enemies[0].is_a?(ZOQ::OpenEntity)
  assert_equal [1, 2], [loaded.enemies[0].hp, loaded.enemies[1][0].hp]
  assert loaded.table[:inner].is_a?(Hash)
  assert_equal :cell, loaded.table[:inner][:entity_type]
end

def entity_chain depth
  root = ZOQ::OpenEntity.new
  node = root
  depth.times do |i|
    child = ZOQ::OpenEntity.new
    child.depth = i
    node.child = child
    node = child
  end
  root
end

test "deeply nested entities save and load without running out of call depth" do
  loaded = save_and_load entity_chain(250)
  node = loaded
  250.times { node = node.child }
  assert_equal 249, node.depth

  # Deeper than the compiler reads back, but written and rebuilt all the same.
  text = entity_chain(3000).to_s
  assert_equal 3000, text.split(":child=>").length - 1
  data = { entity_id: 1 }
  inner = data
  3000.times { |i| inner[:child] = { entity_id: i + 2, depth: i }; inner = inner[:child] }
  node = ZOQ::Entity.parse_serialization_data data
  3000.times { node = node.child }
  assert_equal 2999, node.depth
  list = []
  deep = list
  3000.times { inner_list = []; deep << inner_list; deep = inner_list }
  deep << :bottom
  loaded_list = ZOQ::Entity.parse_serialization_data list
  3000.times { loaded_list = loaded_list[0] }
  assert_equal [:bottom], loaded_list
end

test "an entity that contains itself is written with nil where the cycle closes" do
  e = ZOQ::OpenEntity.new
  e.me = e
  e.list = [1]
  e.list << e.list
  loaded = save_and_load e
  assert loaded.me.nil?
  assert_equal [1, nil], loaded.list
end

test "a nested entity inside a plain Hash is written with a fresh reference map" do
  inner = ZOQ::OpenEntity.new
  list = []
  inner.a = list
  inner.b = list
  eval "$load_data = #{{ wrapper: inner }.to_s}"
  assert_equal({ b: :a }, $load_data[:wrapper][:entity_keys_by_ref])
end

test "a saved strict entity loads back as its filed class with its saved id, also of a type this process never made" do
  e = ZOQ::Entity.new_entity_strict :rock, { size: 3, parts: [1] }
  e.size = 4
  loaded = save_and_load e
  assert loaded.instance_of?(ZOQ::Entity.strict_entities[:rock])
  assert_equal [e.entity_id, 4, [1]], [loaded.entity_id, loaded.size, loaded.parts]
  e = ZOQ::Entity.new_entity_strict :comet, { speed: 9 }
  text = e.to_s
  ZOQ::Entity.strict_entities.clear
  eval "$load_data = #{text}"
  loaded = ZOQ::Entity.parse_serialization_data $load_data
  assert loaded.is_a?(ZOQ::StrictEntity)
  assert_equal [9, e.entity_id, ZOQ::Entity.strict_entities[:comet]], [loaded.speed, loaded.entity_id, loaded.class]
end

test "strict entities nested in open ones keep their shared references" do
  state = ZOQ::OpenEntity.new
  list = [5]
  state.boss = state.new_entity_strict(:boss, { a: list, b: list })
  loaded = save_and_load state
  assert loaded.boss.a.equal?(loaded.boss.b)
end

test "ids handed out after a load are above every loaded id" do
  e = ZOQ::OpenEntity.new
  e.as_hash[:entity_id] = ZOQ::Entity.id! + 500
  loaded = save_and_load e
  assert_equal e.entity_id, loaded.entity_id
  assert ZOQ::Entity.id! > loaded.entity_id
end

test "load_entity_data! fills an entity in place; other values come back unchanged" do
  e = ZOQ::OpenEntity.new
  e.load_entity_data!({ entity_id: 77, x: 1, y: { entity_id: 78, z: 2 } })
  assert_equal [77, 2], [e.entity_id, e.y.z]
  h = { a: { b: 1 } }
  assert h.equal?(ZOQ::Entity.parse_serialization_data(h))
  assert_equal [5, "s"], [ZOQ::OpenEntity.parse_serialization_data(5), ZOQ::StrictEntity.parse_serialization_data("s")]
end

class FloatProbe
  include ZOQ::Serialize
  def initialize
    @sum = 0.1 + 0.2
    @list = [1.0 / 3]
  end
end

class ShownProbe
  include ZOQ::Serialize
  def initialize
    @hp = 3
  end

  def inspect
    "#<ShownProbe>"
  end
end

class SerializeProbe
  include ZOQ::Serialize
  def initialize
    @one = 1
    @none = nil
    @no = false
    @list = [1]
    @table = { a: 1 }
    @name = "n"
  end
end

test "Serialize turns instance variables into a Hash without nil and false, and is saved as that hash" do
  probe = SerializeProbe.new
  assert_equal({ one: 1, list: [1], table: [[:a, 1]], name: "n" }, probe.serialize)
  assert_equal probe.serialize.to_s, probe.inspect
  # Saved as that hash, Floats with every digit, whatever its own inspect says.
  e = ZOQ::OpenEntity.new
  e.probe = SerializeProbe.new
  e.floats = FloatProbe.new
  e.shown = ShownProbe.new
  loaded = save_and_load(e)
  assert_equal [{ one: 1, list: [1], table: [[:a, 1]], name: "n" }, { sum: 0.1 + 0.2, list: [1.0 / 3] }, { hp: 3 }],
               [loaded.probe, loaded.floats, loaded.shown]
end

test "a load error inside nested entities is wrapped in the data of each entity around it" do
  inner = { entity_id: 3, entity_keys_by_ref: 5 }
  middle = { entity_id: 2, list: [inner] }
  outer = { entity_id: 1, child: middle }
  head = "* ERROR:\nFailed to load entity data from:\n\n#+begin_src\n"
  tail = "\n#+end_src\n\nThe save data looks to be corrupt.\n\n** INNER EXCEPTION:\n"
  error = assert_raises(RuntimeError) { ZOQ::OpenEntity.new.load_entity_data!(outer) }
  assert error.message.start_with?("#{head}#{outer}#{tail}#{head}#{middle}#{tail}#{head}#{inner}#{tail}"),
         error.message
  assert_equal 3, error.message.split("Failed to load entity data").length - 1
  error = assert_raises(RuntimeError) { ZOQ::Entity.parse_serialization_data([1, [inner]]) }
  assert error.message.start_with?("#{head}#{inner}#{tail}")
  assert_equal 1, error.message.split("Failed to load entity data").length - 1
end

test "saving and loading args.state from a game tick" do
  def tick args
    args.state.a.b.c = 1
    args.state.hits ||= []
    args.state.hits << args.state.hits.length
    $saved_text = args.state.to_s if args.state.hits.length == 2
  end
  args = $zoq.args
  args.state = ZOQ::OpenEntity.new
  3.times { $top_level.tick args }
  eval "$load_data = #{$saved_text}"
  args.state = ZOQ::Entity.parse_serialization_data $load_data
  assert_equal 1, args.state.a.b.c
  assert_equal [0, 1], args.state.hits
end
