#!/bin/sh
# Prints the per-step cost of the HTTP pump with 0, 10 and 100 transfers running against a
# local server. Usage: bench/http_pump.sh [build-dir]
set -e
build="${1:-build}"
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null "$build/bench/http_pump_bench"
