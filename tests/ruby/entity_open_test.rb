# The open entity behind args.state: ids, property access by name and by key, reserved
# keys, equality and the entities made by new_entity.

test "ids start at 1, count up, and every open entity takes the next one" do
  ZOQ::Entity.__reset_id__!
  assert_equal [1, 2, 3], [ZOQ::Entity.id!, ZOQ::OpenEntity.new.entity_id, ZOQ::OpenEntity.new.entity_id]
  assert_equal 0, ZOQ::Entity.__reset_id__!
  assert_equal 1, ZOQ::OpenEntity.new.entity_id
end

test "a new entity holds its id, its name when given, and an empty reference map" do
  e = ZOQ::OpenEntity.new :player
  assert_equal [:entity_id, :entity_name, :entity_keys_by_ref], e.as_hash.keys
  assert_equal [:player, {}], e.as_hash.values_at(:entity_name, :entity_keys_by_ref)
  refute ZOQ::OpenEntity.new.as_hash.key?(:entity_name)
end

test "a property written by name is read back by name and defines its reader and writer" do
  e = ZOQ::OpenEntity.new
  refute e.respond_to?(:score)
  e.score = 10
  assert e.respond_to?(:score=)
  e.score += 5
  assert e.respond_to?(:score) # the reader is made on the first read
  assert_equal [15, 15], [e.score, e.as_hash[:score]]
  e.as_hash[:score] = 1
  assert_equal 1, e.score
  # Sent names reach method_missing with their arguments, before and after the writer exists.
  f = ZOQ::OpenEntity.new
  f.send(:lives=, 6)
  f.__send__("name=", "ada")
  f.send(:lives=, 7)
  assert_equal [7, "ada"], [f.lives, f.send(:name)]
  # Properties defined on one entity do not leak to another.
  refute ZOQ::OpenEntity.new.respond_to?(:score)
end

test "readers and writers mark the entity touched, [] does not" do
  e = ZOQ::OpenEntity.new
  seen = [!!e.__touched__]
  [-> { e.x = 1 }, -> { e.x }, -> { e[:x] }].each do |use|
    e.__touched__ = false
    use.call
    seen << e.__touched__
  end
  assert_equal [false, true, true, false], seen
end

test "keys given to [] and []= are kept as given, Strings apart from Symbols" do
  e = ZOQ::OpenEntity.new
  assert_equal "v", (e["name"] = "v")
  e[:name] = :sym
  assert_equal ["v", :sym, :sym], [e["name"], e[:name], e.name]
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
  assert_equal [7, [:a, "b"]], [e.set!("speed", 7), e.set!([:a, "b"], 0)]
  assert_equal [7, 0, 0], [e.speed, e.a, e.as_hash[:b]]
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
  assert_equal [true, true, false, nil, nil], [e == e, e == e.entity_id, e == e.entity_id + 1, e == "x", e == other]
  assert e != other
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
  assert_equal [nil, nil], [e.pair(1, 2), e.plain(1)]
  refute e.as_hash.key?(:pair) || e.as_hash.key?(:plain)
end

test "new_entity sets type and creation ticks, stores the init hash raw and runs the block" do
  Kernel.tick_count = 40
  Kernel.global_tick_count = 90
  seen = nil
  e = ZOQ::OpenEntity.new.new_entity(:bullet, { "dx" => 2, x: 1 }) { |n| seen = n; n.y = 5 }
  assert e.equal?(seen)
  assert_equal [:bullet, :bullet, 40, 90, 2, 1, 5],
               [e.entity_type, e.as_hash[:entity_name], e.created_at, e.global_created_at, e.as_hash["dx"], e.x, e.y]
  Kernel.tick_count = 55
  Kernel.global_tick_count = 100
  assert_equal [15, 10], [e.created_at_elapsed, e.global_created_at_elapsed]
end

test "old? compares the age with a numeric lifetime, new? with the current tick" do
  Kernel.tick_count = 0
  e = ZOQ::Entity.new_entity :spark
  assert_equal [false, true], [e.old?, e.new?]
  e.lifetime = 10
  Kernel.tick_count = 10
  assert_equal [false, false, true], [e.old?, e.new?, e.new?(0)]
  Kernel.tick_count = 11
  assert_equal true, e.old?
  e.lifetime = "long"
  assert_equal false, e.old?
end
