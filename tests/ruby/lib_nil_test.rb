# nil and false as forgiving operands (the coercion that creates state is tested through the
# open entity that sets it up).

test "nil plus an Array, an Integer or a String is that value; comparisons and other members answer nil" do
  assert_rows [[5, nil + 5], [[1], nil + [1]], ["s", nil + "s"], [nil, nil + nil], [nil, false + false], [3, false + 3],
               [nil, nil > 3], [nil, nil >= 3], [nil, false < 3], [nil, nil <= 3], [nil, nil.frame_index(1, 2, 3)],
               [nil, nil.serialize], [nil, false.to_hash], [nil, nil.merge(a: 1)], [true, nil.feels_like_an_array?(:map)],
               [false, nil.feels_like_an_array?(:each)]]
  assert_raises(RuntimeError, "* ERROR:\n:+ not handled for NilClassFalseClass and (class Float") { nil + 1.5 }
  assert_raises(RuntimeError, ":+ not handled for NilClassFalseClass and (class Hash") { nil + {} }
end
