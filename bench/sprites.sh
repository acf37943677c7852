#!/bin/sh
# Sprite benchmark: the runtime running examples/sprites with N moving 32x32 sprites as
# Hashes, Arrays and objects, and N static sprites, beside SDL's renderer alone
# (sprite_limit_bench) and the peer engine (love, when installed), in the same run.
# Prints simulation/rendering frame rates of the runtime and the frame rates of the other
# two, per driver (the dummy driver's software renderer, and Xvfb's OpenGL renderer).
#
# Usage: bench/sprites.sh [build-dir]
# Environment: COUNTS ("1000 2500 ..."), KINDS ("hash array object static"),
#              DRIVERS ("dummy xvfb"), BENCH_SECONDS (measured seconds per run, default 2).
set -e
build="${1:-build}"
root=$(cd "$(dirname "$0")/.." && pwd)
counts="${COUNTS:-1000 2500 5000 7500 10000 15000 20000 30000 50000}"
kinds="${KINDS:-hash array object static}"
drivers="${DRIVERS:-dummy xvfb}"
seconds="${BENCH_SECONDS:-2}"
limit="$build/bench/sprite_limit_bench"

dir=$(mktemp -d /tmp/zintarel-sprites-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$build/zintarel" "$build/font.ttf" "$dir/"
cp -r "$root/examples/sprites" "$dir/game"

# Runs a command under the driver: the dummy video driver, or a fresh Xvfb display.
run() {
  driver=$1
  shift
  if [ "$driver" = xvfb ]; then
    xvfb-run -a -s "-screen 0 1280x720x24" "$@"
  else
    SDL_VIDEODRIVER=dummy "$@"
  fi
}

for driver in $drivers; do
  if [ "$driver" = xvfb ] && ! command -v xvfb-run >/dev/null; then
    echo "xvfb: xvfb-run is not installed (apt-get install xvfb); skipped"
    continue
  fi
  echo "== $driver: runtime simulation/rendering fps per kind; SDL alone and peer fps"
  printf "%8s" "sprites"
  for kind in $kinds; do printf " %15s" "$kind"; done
  printf " %10s %10s\n" "sdl-only" "peer"
  for n in $counts; do
    printf "%8s" "$n"
    for kind in $kinds; do
      line=$(cd "$dir" && run "$driver" env ALSOFT_DRIVERS=null timeout -s KILL 60 \
        ./zintarel game --sprites "$n" --kind "$kind" --seconds "$seconds" 2>/dev/null | grep '^sprites ' || true)
      figures=$(echo "$line" | awk '{ if (NF) printf "%.0f/%.0f", $6, $8; else printf "-" }')
      printf " %15s" "$figures"
    done
    sdl=$(run "$driver" timeout -s KILL 60 "$limit" "$n" "$seconds" 2>/dev/null | awk '/^limit/ { printf "%.0f", $5 }')
    peer="-"
    if [ "$driver" = xvfb ] && command -v love >/dev/null; then
      peer=$(run "$driver" timeout -s KILL 60 love "$root/bench/love" "$n" "$seconds" 2>/dev/null |
        awk '/^peer/ { printf "%.0f", $5 }')
    fi
    printf " %10s %10s\n" "${sdl:--}" "${peer:--}"
  done
done
