# nil and false as forgiving operands, and the coercion that creates state on demand.

def fresh_state
  hash = {}
  counter = {}
  [hash, counter]
end

test "nil plus an Array, an Integer or a String is that value; other operands are refused" do
  assert_equal 5, nil + 5
  assert_equal [1], nil + [1]
  assert_equal "s", nil + "s"
  assert_equal nil, nil + nil
  assert_equal nil, false + false
  assert_equal 3, false + 3
  assert_raises(RuntimeError, "* ERROR:\n:+ not handled for NilClassFalseClass and (class Float") { nil + 1.5 }
  assert_raises(RuntimeError, ":+ not handled for NilClassFalseClass and (class Hash") { nil + {} }
end

test "comparisons on nil and false answer nil, other members answer nil too" do
  assert_equal nil, nil > 3
  assert_equal nil, nil >= 3
  assert_equal nil, false < 3
  assert_equal nil, nil <= 3
  assert_equal nil, nil.frame_index(1, 2, 3)
  assert_equal nil, nil.serialize
  assert_equal nil, false.to_hash
  assert_equal nil, nil.merge(a: 1)
  assert nil.feels_like_an_array?(:map)
  refute nil.feels_like_an_array?(:each)
  assert false.is_a?(ValueType)
  assert true.is_a?(ValueType)
  refute nil.is_a?(ValueType)
end

test "a coerced nil creates the entity on the first assignment and repeats the call on it" do
  hash, counter = fresh_state
  nil.assign_method_missing(hash, :player, counter)
  begin
    assert_equal 5, (nil.x = 5)
    player = hash[:player]
    assert player.is_a?(ZOQ::OpenEntity)
    assert_equal 5, player.x
    assert_equal({ :x= => 1 }, counter)
  ensure
    nil.unassign_method_missing
  end
end

test "whitelisted Array calls answer an empty Array, << of an Array and set! make their value" do
  hash, counter = fresh_state
  nil.assign_method_missing(hash, :list, counter)
  begin
    assert_equal [], nil.map { |x| x }
    assert_equal false, hash.key?(:list)
    nil << [1, 2]
    assert_equal [[1, 2]], hash[:list]
  ensure
    nil.unassign_method_missing
  end
  # Two arguments are refused before set! is looked at.
  hash, counter = fresh_state
  nil.assign_method_missing(hash, :bag, counter)
  assert_raises(RuntimeError, "* ERROR:\nUndefined method for (class NilClass") { nil.set!(:hp, 7) }
  assert_equal({}, hash)
  hash, counter = fresh_state
  nil.assign_method_missing(hash, :score, counter)
  begin
    nil.score = 10
    assert_equal 10, hash[:score]
  ensure
    nil.unassign_method_missing
  end
end

test "the third call of one method warns once and the sixth raises and removes the coercion" do
  hash, counter = fresh_state
  nil.assign_method_missing(hash, :enemy, counter)
  warnings = lambda { $zoq.console.log.count { |l| l.to_s.include?("The method > was invoked on enemy within args.state") } }
  before = warnings.call
  2.times { nil > 1 }
  assert_equal before, warnings.call
  3.times { nil > 1 }
  assert_equal before + 1, warnings.call
  assert_equal 5, counter[:>]
  assert_raises(RuntimeError, "* ERROR:\nThe method > was invoked on enemy within args.state, but enemy has\na value of nil. The temporary coersion of this nil value, has reached it's\ninvocation limit.\n\nHere are the details:\n\n{}\n\nmember: [>]\nattribute: [enemy].\n\nSet a default value for this property.\n\n") { nil > 1 }
  # The coercion is gone: counting stops and missing methods raise the usual error.
  assert_equal nil, nil > 1
  assert_equal 6, counter[:>]
  assert_raises(RuntimeError, "Unhandled method_missing with name :hp, args [] was invoked on [NilClass].\nself#inspect:\nNIL\n") { nil.hp }
end

test "two or more arguments remove the coercion and raise" do
  hash, counter = fresh_state
  nil.assign_method_missing(hash, :thing, counter)
  assert_raises(RuntimeError, "* ERROR:\nUndefined method for (class NilClass") { nil.move(1, 2) }
  assert_raises(RuntimeError, "Unhandled method_missing with name :x=, args [1] was invoked on [NilClass]") { nil.x = 1 }
  assert_equal({}, hash)
end

test "[] and []= are not counted, and false has a coercion of its own" do
  hash, counter = fresh_state
  false.assign_method_missing(hash, :flag, counter)
  begin
    false.__check_thrash__!(:[])
    assert_equal 0, counter[:[]]
    false.y = 2
    assert_equal 2, hash[:flag].y
  ensure
    false.unassign_method_missing
  end
end

test "a latest assignment replaces the previous one" do
  first, first_counter = fresh_state
  second, second_counter = fresh_state
  nil.assign_method_missing(first, :a, first_counter)
  nil.assign_method_missing(second, :b, second_counter)
  begin
    nil.z = 1
    assert_equal({}, first)
    assert_equal 1, second[:b].z
  ensure
    nil.unassign_method_missing
  end
end
