#!/bin/sh
# Installs what is missing, builds, and runs an example game in a window (headless without
# a display: a hidden dummy video driver and silent audio, for a few seconds).
set -e
cd "$(dirname "$0")/.."
game="${1:-hello}"
sh scripts/install-deps.sh
cmake -S . -B build
cmake --build build -j"$(nproc)"
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
  exec build/zintarel "examples/$game"
fi
echo "No display: running examples/$game headless for 5 seconds."
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null timeout -s TERM 5 build/zintarel "examples/$game" || [ $? -eq 124 ]
