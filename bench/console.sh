#!/bin/sh
# The step's cost with the developer console closed and open over 1,000 logged lines.
# Usage: bench/console.sh [build-dir]
set -e
build="${1:-build}"
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null "$build/bench/console_bench" > "${TMPDIR:-/tmp}/console_bench.out"
grep "console" "${TMPDIR:-/tmp}/console_bench.out"
