#!/bin/sh
# Times open-entity properties and the save text inside the real interpreter with the
# framework. Usage: bench/entity.sh [build-dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build="${1:-build}"
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null "$build/tests/ruby_tests" "$here/entity_bench.rb" | grep -v "passed,"
