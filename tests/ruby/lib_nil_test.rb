# nil and false as forgiving operands (the coercion that creates state is tested through the
# open entity that sets it up).

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
