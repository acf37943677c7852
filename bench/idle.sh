#!/bin/sh
# An idle game's cost: utime + stime over 10 s (after 2 s of start-up) of a game whose tick
# does nothing, as a share of one core; the runtime headless (dummy driver) and in a real
# window (Xvfb, OpenGL), LÖVE 11.4 (Debian package love) without its window module (its
# headless loop) and with a window, taking turns ROUNDS times (median printed).
# Usage: bench/idle.sh [build-dir] [rounds] (3 by default)
set -e
. "$(dirname "$0")/runtime_copy.sh"
rounds="${2:-3}"
mkdir -p "$dir/game/app" "$dir/peer" "$dir/peer_headless"
echo 'def tick args; end' > "$dir/game/app/main.rb"
echo 'function love.update(dt) end' > "$dir/peer/main.lua"
echo 'function love.update(dt) end' > "$dir/peer_headless/main.lua"
cat > "$dir/peer_headless/conf.lua" <<'LUA'
function love.conf(t)
  t.modules.window = false
  t.modules.graphics = false
  t.modules.audio = false
  t.modules.sound = false
end
LUA

# Runs the command in the background and prints the share of a core it used over 10 s, or
# "failed" when it was not running all along.
cat > "$dir/share.sh" <<'SH'
#!/bin/sh
cd "$(dirname "$0")"
"$@" > /dev/null 2>&1 &
pid=$!
sleep 2
t0=$(awk '{print $14 + $15}' /proc/$pid/stat 2> /dev/null)
sleep 10
t1=$(awk '{print $14 + $15}' /proc/$pid/stat 2> /dev/null)
if [ -z "$t0" ] || [ -z "$t1" ] || ! kill $pid 2> /dev/null; then
  echo failed
  exit 0
fi
wait $pid 2> /dev/null || true
echo "$t0 $t1" | awk -v hz="$(getconf CLK_TCK)" '{printf "%.1f\n", ($2 - $1) / hz / 10 * 100}'
SH
chmod +x "$dir/share.sh"

export ALSOFT_DRIVERS=null
# The median of the figures read; "failed" when a run failed.
median() { sort -n | awk '/failed/ {f = 1} {a[NR] = $1} END {print f ? "failed" : a[int((NR + 1) / 2)]}'; }
r=0
while [ "$r" -lt "$rounds" ]; do
  SDL_VIDEODRIVER=dummy "$dir/share.sh" ./zintarel game >> "$dir/ours_headless"
  env -u SDL_VIDEODRIVER xvfb-run -a "$dir/share.sh" ./zintarel game >> "$dir/ours_window"
  env -u SDL_VIDEODRIVER xvfb-run -a "$dir/share.sh" love peer_headless >> "$dir/peer_headless_share"
  env -u SDL_VIDEODRIVER xvfb-run -a "$dir/share.sh" love peer >> "$dir/peer_window"
  r=$((r + 1))
done
echo "idle game, % of a core (median of $rounds): headless ours $(median < "$dir/ours_headless"), LOVE 11.4 $(median < "$dir/peer_headless_share"); in a window (Xvfb) ours $(median < "$dir/ours_window"), LOVE 11.4 $(median < "$dir/peer_window")"
