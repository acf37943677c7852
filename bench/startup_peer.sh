#!/bin/sh
# Start-up side by side with LÖVE 11.4 (Debian package love): each runs a game that quits in
# its first tick (update), timed from exec to exit, the median of several runs; ours also
# from exec to the first tick. Under Xvfb (a real X11 window, OpenGL renderer) both run; the
# peer cannot open a window under the dummy driver, so there ours is set against its Xvfb time.
# Usage: bench/startup_peer.sh [build-dir] [runs] (15 by default; the machine may be shared)
set -e
. "$(dirname "$0")/runtime_copy.sh"
runs="${2:-15}"
mkdir -p "$dir/game/app" "$dir/peer"
cat > "$dir/game/app/main.rb" <<'RUBY'
def tick args
  puts "first_tick #{'%.6f' % Time.now.to_f}" if args.tick_count == 0
  $zoq.request_quit
end
RUBY
# The peer reads the clock through LuaJIT's FFI: starting a `date` process would add its own
# start-up to the peer's figure.
cat > "$dir/peer/main.lua" <<'LUA'
local ffi = require("ffi")
ffi.cdef[[
typedef struct { long tv_sec; long tv_nsec; } bench_timespec;
int clock_gettime(int clock, bench_timespec *t);
]]
function love.update(dt)
  local t = ffi.new("bench_timespec")
  ffi.C.clock_gettime(0, t)
  print(string.format("first_tick %d.%09d", tonumber(t.tv_sec), tonumber(t.tv_nsec)))
  love.event.quit()
end
LUA

cat > "$dir/measure.sh" <<'SH'
#!/bin/sh
# $1: label, $2: runs; prints "label ours_exit ours_first_tick peer_exit peer_first_update" medians in ms.
cd "$(dirname "$0")"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
: > ours_exit; : > ours_first; : > peer_exit; : > peer_first
for i in $(seq "$2"); do
  start=$(date +%s%N)
  out=$(ALSOFT_DRIVERS=null timeout -s KILL 30 ./zintarel game 2>/dev/null)
  end=$(date +%s%N)
  first=$(echo "$out" | awk '/first_tick/ {print $2}')
  echo "$(( (end - start) / 1000000 ))" >> ours_exit
  echo "$first $start" | awk '{printf "%d\n", ($1 * 1e9 - $2) / 1e6}' >> ours_first
  if [ "$SDL_VIDEODRIVER" != dummy ]; then
    start=$(date +%s%N)
    out=$(ALSOFT_DRIVERS=null timeout -s KILL 30 love peer 2>/dev/null || true)
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 ))" >> peer_exit
    first=$(echo "$out" | awk '/first_tick/ {print $2}')
    echo "$first $start" | awk '{printf "%d\n", ($1 * 1e9 - $2) / 1e6}' >> peer_first
  fi
done
echo "$1 $(median < ours_exit) $(median < ours_first) $(median < peer_exit) $(median < peer_first)"
SH
chmod +x "$dir/measure.sh"

xvfb=$(xvfb-run -a "$dir/measure.sh" xvfb "$runs")
dummy=$(SDL_VIDEODRIVER=dummy "$dir/measure.sh" dummy "$runs")
peer=$(echo "$xvfb" | awk '{print $5}')
echo "$xvfb" | awk '{printf "Xvfb (OpenGL): first tick: ours %d ms, LOVE 11.4 %d ms, ratio %.2f; to exit: ours %d ms, LOVE %d ms, ratio %.2f\n", $3, $5, $3 / $5, $2, $4, $2 / $4}'
echo "$dummy" | awk -v peer="$peer" '{printf "dummy driver:  first tick: ours %d ms, LOVE 11.4 (under Xvfb; it opens no window here) %d ms, ratio %.2f\n", $3, peer, $3 / peer}'
