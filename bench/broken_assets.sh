#!/bin/sh
# The pace of a game that uses every broken picture, font and sound of the small corpus
# (scripts/broken_assets.py) for 30 s, headless: ticks a second (60 when nothing holds it back).
# Usage: bench/broken_assets.sh [build-dir]
set -e
. "$(dirname "$0")/runtime_copy.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$dir/game/app"
python3 "$root/scripts/broken_assets.py" "$dir/game" --size small > /dev/null
cp "$root/tests/data/broken_assets_game.rb" "$dir/game/app/main.rb"
(cd "$dir" && SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 120 ./zintarel game > /dev/null 2>&1) || true
awk '{printf "every broken asset for 30 s, headless: %.1f ticks a second (%d ticks in %.1f s)\n", $2 / $3, $2, $3}' "$dir/game/result.txt"
