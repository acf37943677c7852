#!/bin/sh
# Compares loops with and without divisions compiled by plain mrbc and by the runtime's
# compile step. Usage: bench/arith.sh [build-dir] [iterations]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build="${1:-build}"
dir=$(mktemp -d /tmp/zintarel-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
mrbc -o "$dir/arith_cases.mrb" "$here/arith_cases.rb"
"$build/bench/arith_bench" "$here/arith_cases.rb" "$dir/arith_cases.mrb" ${2:-10000000}
