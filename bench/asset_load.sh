#!/bin/sh
# Prints load times of good assets: 50 PNGs of 256 x 256 (as sprite textures and through
# load_image), a 60 s Ogg Vorbis file and DejaVu Sans, to compare builds before and after
# the loaders' checks. Usage: bench/asset_load.sh [build-dir]
set -e
cd "$(dirname "$0")/.."
build="${1:-build}"
ogg=$(mktemp /tmp/asset-load-XXXXXX.ogg)
trap 'rm -f "$ogg"' EXIT
python3 scripts/broken_assets.py "$ogg" --long-ogg 60
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null "$build/bench/asset_load_bench" "$ogg" 60
