#!/bin/sh
# Runs the same division and loop cases on our interpreter and, when Debian's prebuilt
# one is installed (package mruby), on that too. Usage: bench/arith.sh [build-dir] [iterations]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build="${1:-build}"
echo "our build ($build/mruby/build/host/bin/mruby):"
"$build/mruby/build/host/bin/mruby" "$here/arith_cases.rb" ${2:-10000000}
if [ -x /usr/bin/mruby ]; then
  echo "Debian's prebuilt interpreter (/usr/bin/mruby):"
  /usr/bin/mruby "$here/arith_cases.rb" ${2:-10000000}
fi
