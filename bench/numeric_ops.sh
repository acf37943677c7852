#!/bin/sh
# Times the nil-tolerant numeric operators against the core ones inside the real
# interpreter with the framework. Usage: bench/numeric_ops.sh [build-dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build="${1:-build}"
SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null "$build/tests/ruby_tests" "$here/numeric_ops_bench.rb" | grep -v "passed,"
