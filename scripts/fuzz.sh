#!/bin/sh
# Runs the frame reader over truncated, mutated and random streams, the batch sprite writer
# over generated mixes of sprite forms, and the XML and JSON parsers over mutated documents,
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer; then, when clang and its
# libFuzzer are installed, the XML reader under coverage-guided fuzzing for a while.
# Usage: scripts/fuzz.sh [iterations] [sprite collections] [libFuzzer seconds]
set -e
iterations="${1:-200000}"
collections="${2:-5000}"
seconds="${3:-120}"
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
start=$(date +%s)
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null ZINTAREL_FUZZ_ITERATIONS="$iterations" \
  build-sanitize/tests/native_tests --gtest_filter='ParsersFuzz.*'
echo "fuzz: $iterations XML and JSON documents in $(( $(date +%s) - start )) s, no sanitizer report"
if command -v clang++ > /dev/null && clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a | grep -q /; then
  out=build-sanitize/xml_reader_fuzz
  clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I. \
    $(pkg-config --cflags sdl2) tests/fuzz/xml_reader_fuzz.cpp services/xml_reader.cpp base/files.cpp \
    $(pkg-config --libs sdl2) -lphysfs -o "$out"
  mkdir -p build-sanitize/xml_corpus
  printf '<?xml version="1.0"?><!DOCTYPE r [<!ENTITY e "x">]><r a="1">t&amp;<![CDATA[c]]><?p d?><e/></r>' \
    > build-sanitize/xml_corpus/seed.xml
  "$out" -max_total_time="$seconds" -max_len=4096 build-sanitize/xml_corpus 2>&1 | tail -n 3
  echo "fuzz: libFuzzer ran the XML reader for $seconds s, no crash"
else
  echo "fuzz: clang's libFuzzer is not installed (clang, libclang-rt-14-dev): coverage-guided run skipped"
fi
