# The open entity behind args.state: ids, property access by name and by key, reserved
# keys, equality and the entities made by new_entity.

test "ids start at 1, count up, and every open entity takes the next one" do
  ZOQ::Entity.__reset_id__!
  assert_equal 1, ZOQ::Entity.id!
  a = ZOQ::OpenEntity.new
  b = ZOQ::OpenEntity.new
  assert_equal 2, a.entity_id
  assert_equal 3, b.entity_id
  assert_equal 0, ZOQ::Entity.__reset_id__!
  assert_equal 1, ZOQ::OpenEntity.new.entity_id
end

test "a new entity holds its id, its name when given, and an empty reference map" do
  e = ZOQ::OpenEntity.new :player
  assert_equal [:entity_id, :entity_name, :entity_keys_by_ref], e.as_hash.keys
  assert_equal :player, e.as_hash[:entity_name]
  assert_equal({}, e.as_hash[:entity_keys_by_ref])
  refute ZOQ::OpenEntity.new.as_hash.key?(:entity_name)
end

test "a property written by name is read back by name and defines its reader and writer" do
  e = ZOQ::OpenEntity.new
  refute e.respond_to?(:score)
  e.score = 10
  assert e.respond_to?(:score=)
  assert_equal 10, e.score
  assert e.respond_to?(:score)
  e.score += 5
  assert_equal 15, e.score
  assert_equal 15, e.as_hash[:score]
  e.as_hash[:score] = 1
  assert_equal 1, e.score
  # Sent names reach method_missing with their arguments, before and after the writer exists.
  f = ZOQ::OpenEntity.new
  f.send(:lives=, 6)
  f.__send__("name=", "ada")
  f.send(:lives=, 7)
  assert_equal [7, "ada"], [f.lives, f.send(:name)]
end

test "readers and writers mark the entity touched" do
  e = ZOQ::OpenEntity.new
  refute e.__touched__
  e.x = 1
  assert e.__touched__
  e.__touched__ = false
  e.x
  assert e.__touched__
  e.__touched__ = false
  e[:x]
  refute e.__touched__
end

test "properties defined on one entity do not leak to another" do
  a = ZOQ::OpenEntity.new
  b = ZOQ::OpenEntity.new
  a.only_here = 1
  refute b.respond_to?(:only_here)
  b.only_here = 2
  assert_equal 1, a.only_here
  assert_equal 2, b.only_here
end

test "keys given to [] and []= are kept as given, Strings apart from Symbols" do
  e = ZOQ::OpenEntity.new
  assert_equal "v", (e["name"] = "v")
  e[:name] = :sym
  assert_equal "v", e["name"]
  assert_equal :sym, e[:name]
  assert_equal :sym, e.name
end

test "an Integer key makes the entity an array indexer and uses up one id" do
  e = ZOQ::OpenEntity.new
  first = ZOQ::Entity.id!
  assert_equal :a, (e[5] = :a)
  assert e.__contains_array_indexers__
  assert_equal first + 2, ZOQ::Entity.id!
  e[5] = :b
  assert_equal first + 3, ZOQ::Entity.id!
  assert_equal :b, e[5]
end

test "as_hash of an array indexer warns once and always answers the live hash" do
  $zoq_logged_important = []
  e = ZOQ::OpenEntity.new
  e.define_singleton_method(:log_important) { |text| $zoq_logged_important << text }
  e.as_hash
  assert_equal [], $zoq_logged_important
  e[0] = :zero
  assert_equal :zero, e.as_hash[0]
  e.as_hash
  assert_equal 1, $zoq_logged_important.length
  assert $zoq_logged_important[0].start_with?("* IMPORTANT:\nThis dynamic entity contains array indexers.")
end

test "attributes leave out the reserved keys but keep the reference map" do
  e = ZOQ::Entity.new_entity :ship, { hp: 3 }
  e.x = 4
  attributes = e.attributes
  assert_equal [:entity_keys_by_ref, :hp, :x], attributes.keys.sort
  attributes[:hp] = 0
  assert_equal 3, e.hp
  assert_equal [:entity_id, :entity_type, :__thrash_count__, :entity_name, :created_at, :global_created_at],
               e.__reserved_keys__
end

test "set! stores under Symbols, for one key or a list of keys" do
  e = ZOQ::OpenEntity.new
  assert_equal 7, e.set!("speed", 7)
  assert_equal 7, e.speed
  assert_equal [:a, "b"], e.set!([:a, "b"], 0)
  assert_equal 0, e.a
  assert_equal 0, e.as_hash[:b]
end

test "clear! empties the hash, reserved keys included, and readers stay defined" do
  e = ZOQ::OpenEntity.new
  e.x = 1
  e.x
  e.clear!
  assert_equal({}, e.as_hash)
  assert_nil_value e.entity_id
  assert e.respond_to?(:x)
  e.x = 2
  assert_equal 2, e.x
end

def assert_nil_value value
  assert value.nil?, "expected nil, got #{value.inspect}"
end

test "an entity equals itself and its id, and answers nil for anything else" do
  e = ZOQ::OpenEntity.new
  other = ZOQ::OpenEntity.new
  assert_equal true, e == e
  assert_equal true, e == e.entity_id
  assert_equal false, e == e.entity_id + 1
  assert_nil_value(e == "x")
  assert_nil_value(e == other)
  assert e != other
  assert e.original_eq_eq(e)
end

test "hash warns that it was renamed and answers the core Integer" do
  $zoq_logged_once = []
  e = ZOQ::OpenEntity.new
  e.define_singleton_method(:log_once) { |*ids, text| $zoq_logged_once << [ids, text] }
  assert e.hash.is_a?(Integer)
  assert_equal [:hash_renamed_to_as_hash], $zoq_logged_once[0][0]
  assert $zoq_logged_once[0][1].include?("Entity#hash has been renamed to Entity#as_hash so as not to clober Object#hash.")
end

test "a call with a block or with two arguments is not a property" do
  e = ZOQ::OpenEntity.new
  assert_raises(StandardError) { e.weird { 1 } }
  assert_nil_value e.pair(1, 2)
  assert_nil_value e.plain(1)
  refute e.as_hash.key?(:pair)
  refute e.as_hash.key?(:plain)
end

test "new_entity sets type and creation ticks, stores the init hash raw and runs the block" do
  Kernel.tick_count = 40
  Kernel.global_tick_count = 90
  seen = nil
  e = ZOQ::OpenEntity.new.new_entity(:bullet, { "dx" => 2, x: 1 }) { |n| seen = n; n.y = 5 }
  assert_equal e, seen
  assert_equal :bullet, e.entity_type
  assert_equal :bullet, e.as_hash[:entity_name]
  assert_equal 40, e.created_at
  assert_equal 90, e.global_created_at
  assert_equal 2, e.as_hash["dx"]
  assert_equal 1, e.x
  assert_equal 5, e.y
  Kernel.tick_count = 55
  Kernel.global_tick_count = 100
  assert_equal 15, e.created_at_elapsed
  assert_equal 10, e.global_created_at_elapsed
end

test "old? compares the age with a numeric lifetime, new? with the current tick" do
  Kernel.tick_count = 0
  e = ZOQ::Entity.new_entity :spark
  assert_equal false, e.old?
  assert_equal true, e.new?
  e.lifetime = 10
  Kernel.tick_count = 10
  assert_equal false, e.old?
  assert_equal false, e.new?
  assert_equal true, e.new?(0)
  Kernel.tick_count = 11
  assert_equal true, e.old?
  e.lifetime = "long"
  assert_equal false, e.old?
end

test "AttrZOQ gives an object that holds args short readers for its parts" do
  holder = Object.new
  holder.extend AttrZOQ
  holder.args = $zoq.args
  assert holder.state.equal?($zoq.args.state)
  assert holder.outputs.equal?($zoq.args.outputs)
  assert holder.inputs.equal?($zoq.args.inputs)
  assert holder.keyboard.equal?($zoq.args.inputs.keyboard)
  assert holder.grid.equal?($zoq.args.grid)
  assert holder.zoq.equal?($zoq)
  assert_equal ZOQ::Geometry, holder.geometry
end
