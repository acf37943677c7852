#!/bin/sh
# A game that logs 1,000 lines a tick: ticks a second over 10 s (after 2 s of warm-up),
# headless (dummy driver), with the developer console closed and open, taking turns ROUNDS
# times (median printed). Each run first checks that the log file holds the lines of a tick.
# Usage: bench/log_rate.sh [build-dir] [rounds] (3 by default)
set -e
. "$(dirname "$0")/runtime_copy.sh"
rounds="${2:-3}"
mkdir -p "$dir/game/app"
cat > "$dir/game/app/main.rb" <<'RUBY'
def tick args
  options = $zoq.cli_arguments
  $console.show if options[:console] == "open" && !$console.visible?
  tick = args.tick_count
  1000.times { |i| log "tick #{tick} line #{i} of the log benchmark" }
  $start ||= [Time.now.to_f, tick] if tick == 120
  if $start && Time.now.to_f - $start[0] >= 10
    rate = (tick - $start[1]) / (Time.now.to_f - $start[0])
    log_text = $zoq.read_file("logs/log.txt") || ""
    whole = log_text.include?("tick #{tick - 1} line 999 of the log benchmark\n")
    $zoq.write_file_root "rate.txt", whole ? "%.1f" % rate : "log-incomplete"
    $zoq.request_quit
  end
end
RUBY

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
run() {
  rm -f "$dir/rate.txt"
  (cd "$dir" && SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 120 ./zintarel game --console "$1" > /dev/null 2>&1) || true
  cat "$dir/rate.txt" 2> /dev/null || echo failed
  echo
}
r=0
while [ "$r" -lt "$rounds" ]; do
  run closed >> "$dir/closed"
  run open >> "$dir/open"
  r=$((r + 1))
done
echo "1,000 log lines a tick, ticks a second (median of $rounds, headless): console closed $(median < "$dir/closed"), open $(median < "$dir/open")"
