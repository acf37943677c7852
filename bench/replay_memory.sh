#!/bin/sh
# Prints the peak memory (maximum resident set, from /usr/bin/time) and the reading time of a
# run that reads one replay file: the header alone, the header with 20 MB of blank lines (and
# of CR LF pairs) and one event, and 500,000 events with "\n" and with "\r\n" line ends. Each
# run reads its file by the executable itself (--eval FILE --no-tick) and checks that every
# event came back before it prints. Given a second executable (an older build), the two take
# turns. Usage: bench/replay_memory.sh [build-dir] [other-zintarel]
set -e
. "$(dirname "$0")/runtime_copy.sh"
other="$2"
eval_game "$other"
cat > "$dir/game/app/make.rb" <<'RUBY'
head = "replay_version 2.0\nstopped_at 500001\nseed 7\nrecorded_at 2026-01-01 10:00:00 +0000\n"
event = "[:key_down_raw, 97, 0, 2, 1, 0]\n"
$zoq.write_file "header.txt", head
$zoq.write_file "blank.txt", head + "\n" * 20_000_000 + event
$zoq.write_file "blank_crlf.txt", head + "\r\n" * 10_000_000 + event
events = (0...500_000).map do |i|
  case i % 4
  when 0, 1 then "[:mouse_move, #{i % 1280}, #{i % 720}, 2, #{i + 1}, #{i}]"
  when 2 then "[:key_down_raw, #{97 + i % 26}, 0, 2, #{i + 1}, #{i}]"
  else "[:key_up_raw, #{97 + i % 26}, 0, 2, #{i + 1}, #{i}]"
  end
end
$zoq.write_file "events.txt", head + events.join("\n") + "\n"
$zoq.write_file "events_crlf.txt", head.gsub("\n", "\r\n") + events.join("\r\n") + "\r\n"
RUBY
for name in header blank blank_crlf events events_crlf; do
  case $name in
    header) count=0 ;;
    blank*) count=1 ;;
    *) count=500000 ;;
  esac
  cat > "$dir/game/app/load_$name.rb" <<RUBY
text = \$zoq.read_file("$name.txt")
started = Time.now
data = ZOQ::ReplayFile.parse text, "$name.txt"
seconds = Time.now - started
count = data[:input_history].values.map { |list| list.length }.inject(0) { |a, b| a + b }
original_puts count == $count ? "read #{text.length} bytes in #{'%.3f' % seconds} s" : "WRONG #{count} events"
RUBY
done
cd "$dir"
run() { SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 300 "./$1" game --eval "app/$2.rb" --no-tick; }
run zintarel make > /dev/null
# Peak in MB, and what the run printed.
measure() {
  /usr/bin/time -f 'peak %M' -o peak.txt sh -c "SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 300 ./$1 game --eval app/load_$2.rb --no-tick" > out.txt 2>&1 || true
  said=$(grep -E '^(read|WRONG)' out.txt || echo "no answer")
  kb=$(sed -n 's/^peak //p' peak.txt)
  echo "$2: $((kb / 1024)) MB peak, $said"
}
for name in header blank blank_crlf events events_crlf; do
  measure zintarel $name | sed "s/^/this build  /"
  [ -n "$other" ] && measure other $name | sed "s/^/other build /"
done
