#!/bin/sh
# Start-up side by side with LÖVE 11.4 (Debian package love): each runs a game that quits in
# its first tick (update), timed from exec to exit, the median of several runs; ours also
# from exec to the first tick. Under Xvfb (a real X11 window, OpenGL renderer) both run; the
# peer cannot open a window under the dummy driver, so there ours is set against its Xvfb time.
# Usage: bench/startup_peer.sh [build-dir] [runs]
set -e
build="$(cd "${1:-build}" && pwd)"
runs="${2:-9}"
dir=$(mktemp -d /tmp/zintarel-peer-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$build/zintarel" "$build/font.ttf" "$dir/"
mkdir -p "$dir/game/app" "$dir/peer"
cat > "$dir/game/app/main.rb" <<'RUBY'
def tick args
  puts "first_tick #{'%.6f' % Time.now.to_f}" if args.tick_count == 0
  $zoq.request_quit
end
RUBY
printf 'function love.update(dt)\n  love.event.quit()\nend\n' > "$dir/peer/main.lua"

cat > "$dir/measure.sh" <<'SH'
#!/bin/sh
# $1: label, $2: runs; prints "label ours_exit_ms ours_first_tick_ms peer_exit_ms" medians.
cd "$(dirname "$0")"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
: > ours_exit; : > ours_first; : > peer_exit
for i in $(seq "$2"); do
  start=$(date +%s%N)
  out=$(ALSOFT_DRIVERS=null timeout -s KILL 30 ./zintarel game 2>/dev/null)
  end=$(date +%s%N)
  first=$(echo "$out" | awk '/first_tick/ {print $2}')
  echo "$(( (end - start) / 1000000 ))" >> ours_exit
  echo "$first $start" | awk '{printf "%d\n", ($1 * 1e9 - $2) / 1e6}' >> ours_first
  if [ "$SDL_VIDEODRIVER" != dummy ]; then
    start=$(date +%s%N)
    ALSOFT_DRIVERS=null timeout -s KILL 30 love peer > /dev/null 2>&1 || true
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 ))" >> peer_exit
  fi
done
echo "$1 $(median < ours_exit) $(median < ours_first) $(median < peer_exit)"
SH
chmod +x "$dir/measure.sh"

xvfb=$(xvfb-run -a "$dir/measure.sh" xvfb "$runs")
dummy=$(SDL_VIDEODRIVER=dummy "$dir/measure.sh" dummy "$runs")
peer=$(echo "$xvfb" | awk '{print $4}')
echo "$xvfb" | awk '{printf "Xvfb (OpenGL):  ours %d ms to exit (%d ms to the first tick), LOVE 11.4 %d ms: ratio %.2f\n", $2, $3, $4, $2 / $4}'
echo "$dummy" | awk -v peer="$peer" '{printf "dummy driver:   ours %d ms to exit (%d ms to the first tick), LOVE 11.4 under Xvfb %d ms: ratio %.2f\n", $2, $3, peer, $2 / peer}'
