#!/bin/sh
# Runs the frame reader over truncated, mutated and random streams, and the batch sprite
# writer over generated mixes of sprite forms, in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer. Usage: scripts/fuzz.sh [iterations] [sprite collections]
set -e
iterations="${1:-200000}"
collections="${2:-5000}"
cd "$(dirname "$0")/.."
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" > /dev/null
cmake --build build-sanitize -j4 --target native_tests > /dev/null
start=$(date +%s)
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null ASAN_OPTIONS=detect_leaks=0 ZINTAREL_FUZZ_ITERATIONS="$iterations" \
  ZINTAREL_MIX_COLLECTIONS="$collections" build-sanitize/tests/native_tests --gtest_filter='Frame.*:DrawMethods.*:BatchSprites.*'
echo "fuzz: $iterations streams (plus every truncation) and $collections sprite collections in" \
  "$(( $(date +%s) - start )) s, no sanitizer report"
