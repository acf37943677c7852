#!/bin/sh
# Sprite benchmark: the runtime running examples/sprites with N moving 32x32 sprites as
# Hashes, Arrays and objects, and N static sprites, beside SDL's renderer alone
# (sprite_limit_bench) and the peer engine (love, when installed), in the same run.
# Prints simulation/rendering frame rates of the runtime and the frame rates of the other
# two, per driver (the dummy driver's software renderer, and Xvfb's OpenGL renderer), and
# the ratio of the Hash run to SDL alone: the lower of its two rates over SDL's rate, SDL's
# counted at most 60 as the runtime's pace is (1.00: the runtime keeps up with SDL alone).
# Each runtime run saves a screenshot during its warm-up, and SDL alone reads back its first
# frame: a run whose picture lacks the sprites' own colour gives no figure but "no-colour".
#
# Usage: bench/sprites.sh [build-dir]
# Environment: COUNTS ("1000 2500 ..."), KINDS ("hash array object static"),
#              DRIVERS ("dummy xvfb"), BENCH_SECONDS (measured seconds per run, default 2),
#              REPEAT (runs per cell, the best one kept; default 1: other load only lowers).
set -e
. "$(dirname "$0")/runtime_copy.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
counts="${COUNTS:-1000 2500 5000 7500 10000 15000 20000 30000 50000}"
kinds="${KINDS:-hash array object static}"
drivers="${DRIVERS:-dummy xvfb}"
seconds="${BENCH_SECONDS:-2}"
repeat="${REPEAT:-1}"
limit="$build/bench/sprite_limit_bench"
colour="$build/bench/picture_colour"

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

# The best of REPEAT runs of a command that prints one figure ("-" for none); "no-colour"
# as soon as one run saw a wrong picture.
best() {
  top=-
  r=0
  while [ "$r" -lt "$repeat" ]; do
    figure=$("$@")
    if [ "$figure" = no-colour ]; then
      echo no-colour
      return
    fi
    if [ -n "$figure" ] && { [ "$top" = - ] || awk -v a="$figure" -v b="$top" 'BEGIN { exit !(a + 0 > b + 0) }'; }; then
      top=$figure
    fi
    r=$((r + 1))
  done
  echo "$top"
}

# One runtime run: "simulation render" (the lower of the two decides which run is best as
# "lower*1000000+sim*1000+render", unpacked below).
# The screenshot must show at least one sprite's body (30 x 30) in the picture's colour.
runtime_run() {
  rm -f "$dir/game/shot.png"
  packed=$( (cd "$dir" && run "$driver" env ALSOFT_DRIVERS=null timeout -s KILL 60 \
    ./zintarel game --sprites "$n" --kind "$kind" --seconds "$seconds" --screenshot shot.png 2>/dev/null) |
    awk '/^sprites / { s = $6 + 0; r = $8 + 0; printf "%d", int(s < r ? s : r) * 1000000 + int(s + 0.5) * 1000 + int(r + 0.5) }')
  [ -n "$packed" ] || return 0
  seen=$("$colour" "$dir/game/shot.png" 250 150 40 2>/dev/null | awk '/^colour/ { print $2 + 0 }')
  if [ "${seen:-0}" -lt 900 ]; then echo no-colour; else echo "$packed"; fi
}

sdl_run() {
  run "$driver" timeout -s KILL 60 "$limit" "$n" "$seconds" 2>/dev/null |
    awk '/^limit/ { if ($4 == "fps") printf "%.0f", $5; else printf "no-colour" }'
}

peer_run() {
  run "$driver" timeout -s KILL 60 love "$root/bench/love" "$n" "$seconds" 2>/dev/null | awk '/^peer/ { printf "%.0f", $5 }'
}

wrong=""
for driver in $drivers; do
  if [ "$driver" = xvfb ] && ! command -v xvfb-run >/dev/null; then
    echo "xvfb: xvfb-run is not installed (apt-get install xvfb); skipped"
    continue
  fi
  echo "== $driver: runtime simulation/rendering fps per kind; SDL alone and peer fps; Hash / SDL alone"
  printf "%8s" "sprites"
  for kind in $kinds; do printf " %15s" "$kind"; done
  printf " %10s %10s %7s\n" "sdl-only" "peer" "ratio"
  for n in $counts; do
    printf "%8s" "$n"
    hash_low=-
    for kind in $kinds; do
      packed=$(best runtime_run)
      if [ "$packed" = - ] || [ "$packed" = no-colour ]; then
        printf " %15s" "$packed"
        [ "$packed" = no-colour ] && wrong=yes
        continue
      fi
      printf " %15s" "$(awk -v p="$packed" 'BEGIN { printf "%d/%d", int(p / 1000) % 1000, int(p) % 1000 }')"
      [ "$kind" = hash ] && hash_low=$(awk -v p="$packed" 'BEGIN { printf "%d", int(p / 1000000) }')
    done
    sdl=$(best sdl_run)
    [ "$sdl" = no-colour ] && wrong=yes
    peer="-"
    if [ "$driver" = xvfb ] && command -v love >/dev/null; then peer=$(best peer_run); fi
    ratio=$(awk -v h="$hash_low" -v s="$sdl" 'BEGIN { if (h == "-" || s == "-" || s == "no-colour" || s + 0 == 0) print "-";
      else printf "%.2f", h / (s > 60 ? 60 : s) }')
    printf " %10s %10s %7s\n" "$sdl" "$peer" "$ratio"
  done
done
if [ -n "$wrong" ]; then
  echo "no-colour: the picture of that run showed no sprite in the sprites' own colour (250, 150, 40),"
  echo "so what it measured was not what a player would see; no figure is given for it."
fi
