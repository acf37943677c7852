#!/bin/sh
# Prints what one hot-reload poll costs in a game that required 200 files: the poll the
# runtime makes once a second (`hotload_source_files`), timed over 300 polls, with every file
# last saved a minute ago, and again with one of them saved just now (a save is compared by
# its text until its second has passed). Checks first that no unchanged file was queued and
# that the saved one was. Given a second executable (an older build), the two take turns.
# Usage: bench/hotload_poll.sh [build-dir] [other-zintarel]
set -e
. "$(dirname "$0")/runtime_copy.sh"
other="$2"
eval_game "$other"
i=0
while [ $i -lt 200 ]; do
  echo "def lib_$i; $i; end" > "$dir/game/app/lib_$i.rb"
  i=$((i + 1))
done
touch -d '1 minute ago' "$dir"/game/app/*.rb
cat > "$dir/game/app/poll.rb" <<'RUBY'
200.times { |i| $zoq.require "app/lib_#{i}.rb" }
$zoq.get_ruby_reload_list.clear
# Past the first second of a run, when the queue takes every change.
Kernel.global_tick_count = 1000
# 300 polls: answers the microseconds one took, and the files they queued.
def polls
  $zoq.reloaded_files.clear
  GC.start
  started = Time.now
  300.times do
    $zoq.instance_variable_set :@hotload_if_needed, 59
    $zoq.hotload_source_files
  end
  [(Time.now - started) * 1e6 / 300, $zoq.reloaded_files.dup]
end
watched = $zoq.files_to_reload.length
quiet, queued = polls
ok = queued.empty?
$zoq.write_file "app/lib_8.rb", "def lib_8; :saved; end\n"
saved, queued = polls
ok &&= queued == ["app/lib_8.rb"]
original_puts ok ? format("watched %d unchanged %.1f us one_saved_now %.1f us", watched, quiet, saved) : "WRONG #{queued.inspect}"
RUBY
cd "$dir"
run() { SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 120 "./$1" game --eval app/poll.rb --no-tick | grep -E '^(watched|WRONG)'; }
for i in 1 2 3; do
  touch -d '1 minute ago' game/app/*.rb
  run zintarel | sed "s/^/run $i this build: /"
  if [ -n "$other" ]; then
    touch -d '1 minute ago' game/app/*.rb
    run other | sed "s/^/run $i other build: /"
  fi
done
