# Sourced by the benchmarks that run the executable: $build becomes the build folder's
# absolute path (the script's first argument, "build" by default) and $dir a scratch folder
# holding a copy of the runtime with its font and console logo, removed when the script
# ends. A development run writes beside its executable, so each benchmark runs its own copy.
build="$(cd "${1:-build}" && pwd)"
dir=$(mktemp -d /tmp/zintarel-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$build/zintarel" "$build/font.ttf" "$build/console-logo.png" "$dir/"
