# Sourced by the benchmarks that run the executable: $build becomes the build folder's
# absolute path (the script's first argument, "build" by default) and $dir a scratch folder
# holding a copy of the runtime with its font and console logo, removed when the script
# ends. A development run writes beside its executable, so each benchmark runs its own copy.
build="$(cd "${1:-build}" && pwd)"
dir=$(mktemp -d /tmp/zintarel-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$build/zintarel" "$build/font.ttf" "$build/console-logo.png" "$dir/"

# For the benchmarks that run Ruby files of their own (--eval FILE --no-tick) in a game that
# does nothing else, in this build and, when given one, in another (an older build): copies
# that other executable to $dir/other and makes the game in $dir/game.
eval_game() {
  [ -z "$1" ] || cp "$1" "$dir/other"
  mkdir -p "$dir/game/app"
  echo 'def tick args; end' > "$dir/game/app/main.rb"
}
