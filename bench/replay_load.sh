#!/bin/sh
# Prints how long reading a replay file takes: 50,000 and 200,000 events as a recording holds
# them (mouse moves, key presses and releases, typed text, one in ten a controller key), read
# by the executable itself (--eval FILE --no-tick), after checking that every event came back.
# Given a second executable (an older build), the two take turns and the ratio is printed.
# Usage: bench/replay_load.sh [build-dir] [other-zintarel]
set -e
. "$(dirname "$0")/runtime_copy.sh"
other="$2"
eval_game "$other"
cat > "$dir/game/app/make.rb" <<'RUBY'
[50_000, 200_000].each do |n|
  lines = ["replay_version 2.0", "stopped_at #{n + 1}", "seed 7", "recorded_at 2026-01-01 10:00:00 +0000"]
  n.times do |i|
    lines << case i % 10
             when 0, 1, 2, 3 then "[:mouse_move, #{i % 1280}, #{i % 720}, 2, #{i + 1}, #{i}]"
             when 4, 5 then "[:key_down_raw, #{97 + i % 26}, 0, 2, #{i + 1}, #{i}]"
             when 6, 7 then "[:key_up_raw, #{97 + i % 26}, 0, 2, #{i + 1}, #{i}]"
             when 8 then "[:textinput, \"#{(97 + i % 26).chr}\", 0, 1, #{i + 1}, #{i}]"
             else "[:key_down_player_one, 15, 0, 1, #{i + 1}, #{i}]"
             end
  end
  $zoq.write_file "replay_#{n}.txt", lines.join("\n") + "\n"
end
RUBY
cat > "$dir/game/app/load.rb" <<'RUBY'
[50_000, 200_000].each do |n|
  text = $zoq.read_file("replay_#{n}.txt")
  GC.start
  started = Time.now
  data = ZOQ::ReplayFile.parse text, "replay_#{n}.txt"
  seconds = Time.now - started
  count = data[:input_history].values.map { |list| list.length }.inject(0) { |a, b| a + b }
  last = data[:input_history][n - 1][0]
  ok = count == n && last[:id] == n && last[:name] == :key_down_player_one
  original_puts ok ? "events #{n} bytes #{text.length} seconds #{'%.3f' % seconds}" : "events #{n} WRONG #{count}"
end
RUBY
cd "$dir"
run() { SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 300 "./$1" game --eval "app/$2.rb" --no-tick; }
run zintarel make > /dev/null
for i in 1 2 3; do
  run zintarel load | grep '^events' | sed "s/^/run $i this build: /"
  [ -n "$other" ] && run other load | grep '^events' | sed "s/^/run $i other build: /"
done | tee results.txt
median() { grep "events $1 " results.txt | grep "$2 build" | awk '{print $NF}' | sort -n | sed -n 2p; }
if [ -n "$other" ]; then
  for n in 50000 200000; do
    this=$(median $n this)
    that=$(median $n other)
    echo "$n events, median of 3: this build $this s, other build $that s, other / this $(echo "$that $this" | awk '{printf "%.1f", $1 / $2}')"
  done
fi
