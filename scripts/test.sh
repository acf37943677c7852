#!/bin/sh
# Builds from scratch into build-test/ and runs every test: native (GoogleTest), Ruby inside
# the real interpreter, and end-to-end runs of the executable.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure -j"$(nproc)"
