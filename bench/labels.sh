#!/bin/sh
# Label benchmark: the runtime running examples/sprites with N moving labels of 15 characters
# (DejaVu Sans, 22 pixels), beside the peer engine (LÖVE 11.4, Debian package love) drawing
# the same labels in the same font and size, interleaved in one run under Xvfb (a real X11
# window, OpenGL). Prints the runtime's simulation/rendering frames per second, the peer's
# frames per second (unpaced) and the ratio: the lower of the runtime's two rates over the
# peer's rate, the peer's counted at most 60 as the runtime's pace is.
# Each runtime run saves a screenshot during its warm-up and the peer looks at its first
# frame: a run whose picture lacks the labels' own colour (250, 150, 40) prints "no-colour"
# instead of a figure.
#
# Usage: bench/labels.sh [build-dir]
# Environment: COUNTS ("1000 3000 6000"), BENCH_SECONDS (measured seconds per run, default 3),
#              REPEAT (rounds, each engine taking turns; the best run of each kept; default 1).
set -e
. "$(dirname "$0")/runtime_copy.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
counts="${COUNTS:-1000 3000 6000}"
seconds="${BENCH_SECONDS:-3}"
repeat="${REPEAT:-1}"
colour="$build/bench/picture_colour"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed (apt-get install xvfb)"
  exit 1
fi
cp -r "$root/examples/sprites" "$dir/game"

# "simulation rendering", "no-colour" or nothing.
runtime_run() {
  rm -f "$dir/game/shot.png"
  rates=$( (cd "$dir" && xvfb-run -a -s "-screen 0 1280x720x24" env ALSOFT_DRIVERS=null timeout -s KILL 60 \
    ./zintarel game --sprites "$n" --kind label --seconds "$seconds" --screenshot shot.png 2>/dev/null) |
    awk '/^sprites / { printf "%.1f %.1f", $6, $8 }')
  [ -n "$rates" ] || return 0
  seen=$("$colour" "$dir/game/shot.png" 250 150 40 2>/dev/null | awk '/^colour/ { print $2 + 0 }')
  if [ "${seen:-0}" -lt 2000 ]; then echo no-colour; else echo "$rates"; fi
}

peer_run() {
  xvfb-run -a -s "-screen 0 1280x720x24" timeout -s KILL 60 love "$root/bench/love" labels "$n" "$seconds" "$font" \
    2>/dev/null | awk '/^peer/ { if ($4 == "fps") printf "%.1f", $5; else printf "no-colour" }'
}

printf "%8s %22s %10s %7s\n" labels "runtime sim/render" peer ratio
wrong=""
for n in $counts; do
  ours=- peer=-
  r=0
  while [ "$r" -lt "$repeat" ]; do
    got=$(runtime_run)
    if [ "$got" = no-colour ]; then ours=no-colour; wrong=yes
    elif [ -n "$got" ] && [ "$ours" != no-colour ]; then
      ours=$(echo "$ours $got" | awk '{ if ($1 == "-") { print $2 " " $3; exit }
        a = $1 < $2 ? $1 : $2; b = $3 < $4 ? $3 : $4; if (b > a) print $3 " " $4; else print $1 " " $2 }')
    fi
    if command -v love >/dev/null; then
      got=$(peer_run)
      if [ "$got" = no-colour ]; then peer=no-colour; wrong=yes
      elif [ -n "$got" ] && [ "$peer" != no-colour ]; then
        peer=$(awk -v a="$peer" -v b="$got" 'BEGIN { if (a == "-" || b + 0 > a + 0) print b; else print a }')
      fi
    fi
    r=$((r + 1))
  done
  shown=$(echo "$ours" | awk '{ if (NF == 2) printf "%s/%s", $1, $2; else print $1 }')
  ratio=$(echo "$ours" | awk -v p="$peer" '{ if (NF != 2 || p == "-" || p == "no-colour" || p + 0 == 0) { print "-"; exit }
    low = $1 < $2 ? $1 : $2; printf "%.2f", low / (p > 60 ? 60 : p) }')
  printf "%8s %22s %10s %7s\n" "$n" "$shown" "$peer" "$ratio"
done
if [ -n "$wrong" ]; then
  echo "no-colour: that run's picture showed no label in the labels' own colour (250, 150, 40): no figure is given."
fi
