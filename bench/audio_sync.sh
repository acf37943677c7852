#!/bin/sh
# Prints the per-step cost of keeping OpenAL's sources in line with args.audio for 0, 16
# and 200 playing entries. Usage: bench/audio_sync.sh [build-dir]
set -e
build="${1:-build}"
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null "$build/bench/audio_sync_bench"
