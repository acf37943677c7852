# A property that was never set reads as a nil that creates the missing entities on first
# use: the open entity binds the nil to itself, nil and false do the rest.

def fresh_state
  ZOQ::OpenEntity.new
end

test "a chain of reads ending in an assignment creates the entities in between" do
  state = fresh_state
  state.a.b.c = 1
  assert state.a.b.is_a?(ZOQ::OpenEntity)
  assert_equal [:a, :b, 1], [state.a.as_hash[:entity_name], state.a.b.as_hash[:entity_name], state.a.b.c]
  # ||= stores the default once; [] creates entities as well.
  state.player.x ||= 100
  state.player.x ||= 200
  assert_equal 100, state.player.x
  state.player.x += 1
  assert_equal 101, state.player.x
  state[:world].size = 3
  assert_equal [3, 3], [state[:world].size, state.world.size]
end

test "map on a missing property answers an empty Array and stores nothing; << of an Array and false reads make values" do
  state = fresh_state
  assert_equal [[], []], [state.list.map { |x| x }, state.rows.map_with_index { |x, i| x }]
  refute state.as_hash.key?(:list)
  state.items << [1, 2]
  assert_equal [[1, 2]], state.items
  state.flag = false
  state.flag.on = true
  assert_equal true, state.flag.on
end

test "a missing property read three times with one method warns once, six times raises" do
  state = fresh_state
  warnings = lambda { $zoq.console.log.count { |l| l.to_s.include?("The method + was invoked on timer within args.state") } }
  before = warnings.call
  state.timer
  2.times { state.timer + 1 }
  assert_equal before, warnings.call
  state.timer + 1
  assert_equal({ :+ => 3 }, state.as_hash[:__thrash_count__][:timer])
  2.times { state.timer + 1 }
  assert_equal before + 1, warnings.call
  assert_raises(StandardError, "* ERROR:\nThe method + was invoked on timer within args.state, but timer has\na value of nil. The temporary coersion of this nil value, has reached it's\ninvocation limit.\n\nHere are the details:\n\n") { state.timer + 1 }
  refute state.as_hash.key?(:timer)
  # The coercion is gone: missing methods raise the usual error.
  assert_raises(RuntimeError, "Unhandled method_missing with name :hp, args [] was invoked on [NilClass].") { nil.hp }
  assert_equal 6, state.as_hash[:__thrash_count__][:timer][:+]
end

test "calls that create different properties are counted apart" do
  state = ZOQ::OpenEntity.new
  [:player, :enemy, :boss, :camera, :cursor, :goal, :door].each_with_index do |name, i|
    state[name].x ||= i
  end
  assert_equal [5, 6], [state.goal.x, state.door.x]
  assert_equal({ x: 1 }, state.as_hash[:__thrash_count__][:door])
end

test "a coercion whose property has since been given a value is dropped, and a nil elsewhere raises the usual error" do
  [-> (state) { state.score ||= 0; state.score += 40 }, -> (state) { state.player.hp = 3 },
   -> (state) { state.items << [1] }, -> (state) { state.name = "x" }].each_with_index do |set, i|
    state = fresh_state
    set.call(state)
    assert_raises(RuntimeError, "Unhandled method_missing with name :hp, args [] was invoked on [NilClass].") { nil.hp }
    # nil's own operators stay, and a missing property read afterwards is coerced afresh.
    state.fresh.x = 2
    assert_equal [2, 2], [nil + 2, state.fresh.x], "case #{i}"
  end
end

test "two or more arguments on a coerced nil raise instead of creating" do
  state = fresh_state
  state.thing
  assert_raises(StandardError, "Undefined method for") { nil.move(1, 2) }
  refute state.as_hash.key?(:thing)
end

test "the latest missing read decides which property a nil creates" do
  state = fresh_state
  first = state.first
  state.second
  first.x = 1
  refute state.as_hash.key?(:first)
  assert_equal 1, state.second.x
end

test "with coercion switched off a missing property reads as plain nil" do
  state = fresh_state
  $disable_nil_coersion = true
  begin
    assert state.nothing.nil?
    assert state[:nothing].nil?
    refute state.as_hash.key?(:__thrash_count__)
  ensure
    $disable_nil_coersion = nil
  end
end

test "args.state.a.b.c = 1 inside a game tick" do
  def tick args
    args.state.a.b.c = 1
    args.state.count ||= 0
    args.state.count += 1
  end
  args = $zoq.args
  args.state.clear!
  $top_level.tick args
  $top_level.tick args
  assert_equal 1, args.state.a.b.c
  assert_equal 2, args.state.count
end

test "replacing args.state ends the coercion read from the old one" do
  now = boot_game "def tick args; end\n"
  run_steps now, 2
  $zoq.ffi_file.write "game_state.txt", "{:entity_id=>1, :score=>5}"
  [-> { $zoq.load_state }, -> { $args.state = ZOQ::OpenEntity.new },
   -> { $args.state = $zoq.deserialize_state("{:entity_id=>2, :score=>6}") }].each_with_index do |replace, i|
    $args.state.loaded
    replace.call
    item = [][5]
    [[:hp, -> { item.hp }], [:hp, -> { 10 / item.hp }], [:anything, -> { item.anything.at.all }]].each do |name, call|
      assert_raises(RuntimeError, "Unhandled method_missing with name :#{name}, args [] was invoked on [NilClass].") { call.call }
    end
    # The new state coerces its own missing reads.
    $args.state.fresh.x = 2
    assert_equal 2, $args.state.fresh.x, "case #{i}"
  end
end
