# A game's tick, defined on the top-level object as a game defines it, using the library.

def tick args
  args.state.seen ||= []
  args.state.seen << [
    5.or(3),
    7.half == 3.5,
    (5 + nil),
    { x: 10, w: 20 }.right,
    "aaa bbb ccc".wrap(7),
    5 / 2,
    7.idiv(2),
    nil.or(:default),
    2.seconds,
    [1, 2] + [3]
  ]
  args.state.player.x = 5
end

test "a tick uses the library's conveniences on numbers, hashes, strings and nil" do
  args = $zoq.args
  tick args
  assert_equal [5, true, nil, 30, "aaa bbb\nccc", 2.5, 3, :default, 120, [1, 2, 3]], args.state.seen[0]
  assert_equal 5, args.state.player.x
  tick args
  assert_equal 2, args.state.seen.length
end

