# Sprite benchmark: N 32x32 sprites bouncing around the screen, and the frame rates held.
#
#   ./zintarel examples/sprites --sprites 5000 --kind hash --seconds 4
#
# --kind is hash, array or object (moving sprites of that form), static (sprites added
# once to static_sprites, never moved) or label (moving labels of 15 characters in the
# sprites' colour, bench/labels.sh). After two seconds of warm-up the game measures
# for --seconds seconds, prints one line and quits:
#
#   sprites 5000 kind hash simulation_fps 60.0 rendering_fps 60.0 tick_ms 1.2
#
# simulation_fps counts ticks per second of wall time, rendering_fps is the rate the
# render thread reports, tick_ms is the time the game's own tick took on average.
# Without --sprites the game runs on with 1,000 Hash sprites and shows its rates.
# --screenshot FILE saves the screen at tick 30, during the warm-up, as FILE in the game
# folder, for a look at what was measured.

class Ship
  include AttrSprite
  attr_accessor :dx, :dy
end

W = 1280 - 32
H = 720 - 32
# A label's place is its top left corner and its text runs about 170 pixels: labels keep
# to x 0 to LABEL_W and y LABEL_LOW to LABEL_H.
LABEL_W = 1280 - 180
LABEL_LOW = 30
LABEL_H = 720 - 10

def new_bench args
  options = $zoq.cli_arguments
  count = (options[:sprites] || 1000).to_i
  kind = (options[:kind] || "hash").to_sym
  seconds = (options[:seconds] || 0).to_f
  sprites = Array.new(count) do |i|
    x = (i * 37) % W
    y = (i * 91) % H
    dx = (i % 7) - 3
    dx = 2 if dx == 0
    dy = (i % 5) - 2
    dy = 1 if dy == 0
    case kind
    when :label
      { x: (i * 37) % LABEL_W, y: LABEL_LOW + (i * 91) % (LABEL_H - LABEL_LOW), text: format("label no %06d", i),
        r: 250, g: 150, b: 40, dx: dx, dy: dy }
    when :array then [x, y, 32, 32, "sprites/square.png"]
    when :object
      ship = Ship.new
      ship.x = x
      ship.y = y
      ship.w = 32
      ship.h = 32
      ship.path = "sprites/square.png"
      ship.dx = dx
      ship.dy = dy
      ship
    else { x: x, y: y, w: 32, h: 32, path: "sprites/square.png", dx: dx, dy: dy }
    end
  end
  args.outputs.static_sprites << sprites if kind == :static
  # An Array sprite's elements past the path are its angle, alpha and the rest: its
  # velocity is kept beside it.
  velocities = Array.new(count) { |i| [(i % 7) - 3 == 0 ? 2 : (i % 7) - 3, (i % 5) - 2 == 0 ? 1 : (i % 5) - 2] }
  { count: count, kind: kind, seconds: seconds, sprites: sprites, velocities: velocities, ticks: 0, tick_time: 0.0,
    render_sum: 0.0, started_at: nil }
end

# Each form moves the way a game would write it for that form.
def move bench
  sprites = bench[:sprites]
  i = 0
  n = sprites.length
  case bench[:kind]
  when :hash, :label
    right, low, high = bench[:kind] == :label ? [LABEL_W, LABEL_LOW, LABEL_H] : [W, 0, H]
    while i < n
      s = sprites.at(i)
      x = s[:x] + s[:dx]
      y = s[:y] + s[:dy]
      s[:dx] = -s[:dx] if x < 0 || x > right
      s[:dy] = -s[:dy] if y < low || y > high
      s[:x] = x
      s[:y] = y
      i += 1
    end
  when :array
    velocities = bench[:velocities]
    while i < n
      s = sprites.at(i)
      v = velocities.at(i)
      x = s[0] + v[0]
      y = s[1] + v[1]
      v[0] = -v[0] if x < 0 || x > W
      v[1] = -v[1] if y < 0 || y > H
      s[0] = x
      s[1] = y
      i += 1
    end
  when :object
    while i < n
      s = sprites.at(i)
      x = s.x + s.dx
      y = s.y + s.dy
      s.dx = -s.dx if x < 0 || x > W
      s.dy = -s.dy if y < 0 || y > H
      s.x = x
      s.y = y
      i += 1
    end
  end
end

def tick args
  bench = ($bench ||= new_bench(args))
  started = Time.now.to_f
  unless bench[:kind] == :static
    move bench
    (bench[:kind] == :label ? args.outputs.labels : args.outputs.sprites) << bench[:sprites]
  end
  args.outputs.background_color = [20, 24, 32]
  bench[:tick_time] += Time.now.to_f - started
  shot = $zoq.cli_arguments[:screenshot]
  args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: shot } if shot && args.tick_count == 30
  report args, bench
end

def report args, bench
  if bench[:seconds] <= 0
    args.outputs.labels << { x: 10, y: 710, text: "#{bench[:count]} #{bench[:kind]} sprites, simulation #{$zoq.current_framerate_calc} fps, rendering #{$zoq.current_framerate_render} fps",
                             r: 255, g: 255, b: 255 }
    return
  end
  now = Time.now.to_f
  # Two seconds of warm-up, then the measured window: the rendering rate looks a second back,
  # and the warm-up screenshot holds the render thread while the picture is written.
  if args.tick_count == 120
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
  simulation = bench[:ticks] / elapsed
  rendering = bench[:render_sum] / bench[:ticks]
  tick_ms = bench[:tick_time] * 1000 / bench[:ticks]
  puts format("sprites %d kind %s simulation_fps %.1f rendering_fps %.1f tick_ms %.2f",
              bench[:count], bench[:kind], simulation, rendering, tick_ms)
  $zoq.request_quit
end
