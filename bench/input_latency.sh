#!/bin/sh
# Key latency as a player feels it, side by side with LÖVE 11.4 (Debian package love): each
# engine in a real window under an Xvfb server of its own, PRESSES presses of "a" sent with
# xdotool to the two engines in turn, timed from just before the send to the first tick that
# sees the key pressed (`args.inputs.keyboard.key_down.a`; the peer's love.update, its loop
# held to 60 updates a second). Prints median and maximum for each engine.
# Usage: bench/input_latency.sh [build-dir] [presses] (50 by default)
set -e
. "$(dirname "$0")/runtime_copy.sh"
presses="${2:-50}"
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$dir/game/app" "$dir/peer"
cat > "$dir/game/app/main.rb" <<'RUBY'
def tick args
  puts "key_seen #{'%.6f' % Time.now.to_f}" if args.inputs.keyboard.key_down.a
  puts "bench_ready" if args.tick_count == 60
  args.outputs.solids << [100, 100, 200, 200, 250, 150, 40]
end
RUBY
cp "$root/bench/love/conf.lua" "$dir/peer/"
cat > "$dir/peer/main.lua" <<'LUA'
-- The peer at a fixed 60 updates a second, as the runtime steps: events are taken at the
-- start of each update, then it sleeps until the next sixtieth of a second.
local ffi = require("ffi")
ffi.cdef[[
typedef struct { long tv_sec; long tv_nsec; } bench_timespec;
int clock_gettime(int clock, bench_timespec *t);
]]
io.stdout:setvbuf("no")
local pressed, updates = false, 0

function love.keypressed(key) if key == "a" then pressed = true end end

function love.update(dt)
  if pressed then
    local t = ffi.new("bench_timespec")
    ffi.C.clock_gettime(0, t)
    print(string.format("key_seen %d.%06d", tonumber(t.tv_sec), math.floor(tonumber(t.tv_nsec) / 1000)))
    pressed = false
  end
  updates = updates + 1
  if updates == 60 then print("bench_ready") end
end

function love.draw()
  love.graphics.setColor(250 / 255, 150 / 255, 40 / 255)
  love.graphics.rectangle("fill", 100, 100, 200, 200)
end

function love.run()
  if love.load then love.load(love.arg.parseGameArguments(arg), arg) end
  love.timer.step()
  local step = 1 / 60
  local deadline = love.timer.getTime()
  return function()
    love.event.pump()
    for name, a, b, c, d, e, f in love.event.poll() do
      if name == "quit" then return a or 0 end
      love.handlers[name](a, b, c, d, e, f)
    end
    love.update(love.timer.step())
    love.graphics.origin()
    love.graphics.clear(0, 0, 0)
    love.draw()
    love.graphics.present()
    deadline = deadline + step
    local wait = deadline - love.timer.getTime()
    if wait > 0 then love.timer.sleep(wait) end
  end
end
LUA
python3 "$root/bench/input_latency.py" "$dir" "$presses"
