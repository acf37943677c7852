#!/bin/sh
# Makes docs/drawing.png, the picture the README opens with: examples/drawing in a real X11
# window (Xvfb, the OpenGL renderer players get), saved by the game's own screenshot at its
# tick 30. Usage: sh scripts/readme_picture.sh [build-dir] (needs xvfb-run)
set -e
cd "$(dirname "$0")/.."
build="${1:-build}"
dir=$(mktemp -d /tmp/zintarel-readme-XXXXXX)
trap 'rm -rf "$dir"' EXIT
# A copy of the runtime and the game: a development run writes beside both.
cp "$build/zintarel" "$build/font.ttf" "$build/font-LICENSE.txt" "$build/zintarel-controller.png" \
  "$build/console-logo.png" "$dir/"
cp -r examples/drawing "$dir/game"
rm -rf "$dir/game/screenshots"
cat > "$dir/run.sh" <<'SH'
#!/bin/sh
./zintarel game &
pid=$!
for i in $(seq 300); do
  [ -s game/screenshots/drawing.png ] && break
  sleep 0.1
done
sleep 1 # the file is written whole before the next frame; give it that
kill -TERM $pid
wait $pid
SH
(cd "$dir" && SDL_VIDEODRIVER=x11 ALSOFT_DRIVERS=null timeout -s KILL 60 \
  xvfb-run -a -s "-screen 0 1280x720x24" sh run.sh > run.log 2>&1) || true
if [ ! -s "$dir/game/screenshots/drawing.png" ]; then
  echo "readme_picture: the game saved no screenshot; it said:" >&2
  cat "$dir/run.log" >&2
  exit 1
fi
mkdir -p docs
cp "$dir/game/screenshots/drawing.png" docs/drawing.png
echo "wrote docs/drawing.png"
