#!/bin/sh
# Makes the guide pictures of the iOS publishing wizard (assets/wizards/ios/*.png): plain cards
# with the words of each step, drawn by tools/guide_pictures (a game) under the dummy driver
# and saved by its own screenshots. The build copies them beside the executable.
# Usage: sh scripts/guide_pictures.sh [build-dir]
set -e
cd "$(dirname "$0")/.."
build="${1:-build}"
dir=$(mktemp -d /tmp/zintarel-guide-XXXXXX)
trap 'rm -rf "$dir"' EXIT
# A copy of the runtime and the game: a development run writes beside both.
cp "$build/zintarel" "$build/font.ttf" "$dir/"
cp -r tools/guide_pictures "$dir/game"
(cd "$dir" && SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s KILL 60 ./zintarel game > run.log 2>&1) || true
count=$(ls "$dir/game/cards" 2>/dev/null | wc -l)
if [ "$count" -ne 13 ]; then
  echo "guide_pictures: the game saved $count of 13 cards; it said:" >&2
  cat "$dir/run.log" >&2
  exit 1
fi
mkdir -p assets/wizards/ios
for card in "$dir"/game/cards/*.png; do
  install -m 644 "$card" assets/wizards/ios/
done
echo "wrote $count pictures into assets/wizards/ios"
