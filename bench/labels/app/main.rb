# Label benchmark: N labels of 15 characters moving over the screen (bench/labels.sh).
#
#   ./zintarel bench/labels --labels 6000 --seconds 3 --screenshot shot.png
#
# After one second of warm-up the game measures for --seconds seconds, prints one line and
# quits:
#
#   labels 6000 simulation_fps 60.0 rendering_fps 60.0 tick_ms 1.2
#
# --screenshot FILE saves the screen at tick 30, during the warm-up, as FILE in the game
# folder: the labels' own colour (250, 150, 40) must show in it.

W = 1280 - 180
H = 720 - 10

def new_bench
  options = $zoq.cli_arguments
  count = (options[:labels] || 1000).to_i
  labels = Array.new(count) do |i|
    dx = (i % 7) - 3
    dx = 2 if dx == 0
    dy = (i % 5) - 2
    dy = 1 if dy == 0
    { x: (i * 37) % W, y: 30 + (i * 91) % (H - 30), text: format("label no %06d", i), r: 250, g: 150, b: 40,
      dx: dx, dy: dy }
  end
  { count: count, seconds: (options[:seconds] || 0).to_f, labels: labels, ticks: 0, tick_time: 0.0,
    render_sum: 0.0, started_at: nil }
end

def move labels
  i = 0
  n = labels.length
  while i < n
    l = labels.at(i)
    x = l[:x] + l[:dx]
    y = l[:y] + l[:dy]
    l[:dx] = -l[:dx] if x < 0 || x > W
    l[:dy] = -l[:dy] if y < 30 || y > H
    l[:x] = x
    l[:y] = y
    i += 1
  end
end

def tick args
  bench = ($bench ||= new_bench)
  started = Time.now.to_f
  move bench[:labels]
  args.outputs.labels << bench[:labels]
  args.outputs.background_color = [20, 24, 32]
  bench[:tick_time] += Time.now.to_f - started
  shot = $zoq.cli_arguments[:screenshot]
  args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: shot } if shot && args.tick_count == 30
  report bench
end

def report bench
  return if bench[:seconds] <= 0
  now = Time.now.to_f
  if Kernel.tick_count == 60
    bench[:started_at] = now
    bench[:ticks] = 0
    bench[:tick_time] = 0.0
    bench[:render_sum] = 0.0
  end
  return unless bench[:started_at]
  bench[:ticks] += 1
  bench[:render_sum] += $zoq.current_framerate_render.to_f
  elapsed = now - bench[:started_at]
  return if elapsed < bench[:seconds]
  puts format("labels %d simulation_fps %.1f rendering_fps %.1f tick_ms %.2f", bench[:count], bench[:ticks] / elapsed,
              bench[:render_sum] / bench[:ticks], bench[:tick_time] * 1000 / bench[:ticks])
  $zoq.request_quit
end
