#!/bin/sh
# Prints the time from exec to the game's first tick, and how long 120 ticks take at the
# fixed 60 Hz step (2 s when the pacing holds). Usage: bench/startup.sh [build-dir]
set -e
. "$(dirname "$0")/runtime_copy.sh"
mkdir -p "$dir/game/app"
cat > "$dir/game/app/main.rb" <<'RUBY'
def tick args
  if args.tick_count == 0
    $first = Time.now.to_f
    puts "first_tick #{'%.6f' % $first}"
  elsif args.tick_count == 120
    puts "ticks_120 #{'%.3f' % (Time.now.to_f - $first)}"
    $zoq.request_quit
  end
end
RUBY
cd "$dir"
runs=5
for i in $(seq $runs); do
  start=$(date +%s.%N)
  out=$(SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 30 ./zintarel game)
  first=$(echo "$out" | awk '/first_tick/ {print $2}')
  t120=$(echo "$out" | awk '/ticks_120/ {print $2}')
  ms=$(echo "$first $start" | awk '{printf "%.1f", ($1 - $2) * 1000}')
  echo "run $i: start-up to first tick ${ms} ms; 120 ticks took ${t120} s"
done
