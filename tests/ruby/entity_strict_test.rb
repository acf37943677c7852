# Strict entities: one generated class per entity type, its properties fixed when the type
# is first made.

test "the first creation of a type files a class with the init keys and the block's keys" do
  Kernel.tick_count = 3
  Kernel.global_tick_count = 8
  calls = []
  e = ZOQ::Entity.new_entity_strict(:tank, { x: 1, y: 2 }, ->(n) { calls << n.class; n.fuel = 9 })
  klass = ZOQ::Entity.strict_entities[:tank]
  assert e.instance_of?(klass)
  assert_equal ZOQ::StrictEntity, klass.superclass
  assert_equal [ZOQ::OpenEntity, klass], calls
  assert_equal [1, 2, 9, :tank, :tank, true, 3], [e.x, e.y, e.fuel, e.entity_type, e.entity_name, e.entity_strict, e.created_at]
  Kernel.tick_count = 10
  Kernel.global_tick_count = 20
  assert_equal [7, 12], [e.created_at_elapsed, e.global_created_at_elapsed]
end

test "a later creation of a type reuses its class, whatever keys it brings" do
  first = ZOQ::Entity.new_entity_strict :crate, { w: 1 }
  later = ZOQ::Entity.new_entity_strict :crate, { w: 2, extra: 5 }
  assert_equal first.class, later.class
  assert_equal 2, later.w
  assert later.entity_id > first.entity_id
  assert_raises(RuntimeError, "doesn't have the property extra") { later.extra }
end

test "an undeclared property raises the strict error, also through [], []= and set!" do
  e = ZOQ::Entity.new_entity_strict :door, { open: false }
  e.open = true
  e[:open] = e[:open] ? 1 : 0
  e.set! :open, e.open + 1
  assert_equal 2, e.open
  error = assert_raises(RuntimeError) { e.colour }
  assert_equal "* ERROR:\nThe *strict* entity with name :door doesn't have the property colour. When converting\nan entity to a strict entity (going from \"args.state.new_entity\" to \"args.state.new_entity_strict\"),\nall possible properties must be defined when the entity was originially created. Make sure\ncolour is defined within args.state.new_entity_strict(:door) do ... end.\n\n", error.message
  assert_raises(RuntimeError, "doesn't have the property colour.") { e[:colour] }
  assert_raises(RuntimeError, "doesn't have the property colour=.") { e[:colour] = 1 }
  assert_raises(RuntimeError, "doesn't have the property colour=.") { e.set! "colour", 1 }
end

test "is_a? answers the filed class for any filed type" do
  a = ZOQ::Entity.new_entity_strict :apple
  ZOQ::Entity.new_entity_strict :pear
  assert_equal ZOQ::Entity.strict_entities[:pear], a.is_a?(:pear)
  assert_equal true, a.is_a?(ZOQ::StrictEntity)
  assert_raises(TypeError) { a.is_a?(:plum) }
  assert_equal false, a.is_a?(String)
end

test "to_hash lists every instance variable without its @; as_hash is the entity" do
  e = ZOQ::Entity.new_entity_strict :coin, { value: 5 }
  h = e.to_hash
  assert_equal [5, true, :coin], h.values_at(:value, :entity_strict, :entity_name)
  assert h.key?(:global_created_at_elapsed)
  assert_equal e, e.as_hash
  # Properties that hold one object are recorded.
  list = [1, 2]
  e = ZOQ::Entity.new_entity_strict :pair_holder, { a: list, b: list, c: [1, 2] }
  # Instance variables come in no fixed order: either key may be the first.
  refs = e.to_hash[:entity_keys_by_ref]
  assert({ b: :a } == refs || { a: :b } == refs, "got #{refs.inspect}")
end

test "clear! sets every instance variable to nil; the open entity form reaches the same strict types" do
  e = ZOQ::Entity.new_entity_strict :blank, { a: 1 }
  e.clear!
  assert e.a.nil? && e.entity_id.nil?
  state = ZOQ::OpenEntity.new
  e = state.new_entity_strict(:gem, { shine: 1 }) { |n| n.shine = 2 }
  assert_equal 2, e.shine
  assert_equal ZOQ::Entity.strict_entities[:gem], e.class
end
