# What a game keeps is bounded by memory alone: every entity defines its property readers
# and writers from the same few blocks, and every render target makes its collections so.

SCALE_GAME = <<~RUBY
  def tick args
    args.state.bullets ||= 200_000.times.map { |i| args.state.new_entity(:bullet, x: i) }
    args.state.bullets.each { |b| b.hits = b.x + 1 }
    20_000.times { |i| args.outputs[:"rt\#{i}"].solids << [0, 0, 1, 1] }
    args.state.ticks_done = (args.state.ticks_done || 0) + 1
  end
RUBY

test "a tick keeps 200,000 entities with a property each and makes 20,000 render targets" do
  run_steps boot_game(SCALE_GAME), 1
  state = $zoq.args.state
  last = state.bullets.last
  assert_rows [
    [1, state.ticks_done],
    [[200_000, 199_999, 200_000], [state.bullets.length, last.x, last.hits]],
    [true, last.respond_to?(:hits) && last.respond_to?(:hits=)],
    [20_000, $zoq.args.render_targets.length],
    [1, $zoq.args.outputs[:rt19999].solids.length]
  ]
end
