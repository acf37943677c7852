#!/bin/sh
# Builds the interpreter from Debian's source with our patches, or runs its own tests.
# Usage: mruby/build.sh build|test SOURCE OUT [PATCHES] (OUT/src is the patched copy, OUT/build the
# result; PATCHES, mruby/patches by default, is the folder of patches to apply)
set -e
mode=$1 source=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
patches=${4:-$here/patches}
if [ "$mode" = build ]; then
  rm -rf "$out/src" "$out/build"
  mkdir -p "$out"
  cp -a "$source" "$out/src"
  for p in "$patches"/*.patch; do
    patch -d "$out/src" -p1 -s --no-backup-if-mismatch < "$p"
  done
  # rake writes a lock file beside the configuration: keep both in the build tree.
  cp "$here/build_config.rb" "$out/build_config.rb"
fi
cd "$out/src"
export MRUBY_CONFIG="$out/build_config.rb" MRUBY_BUILD_DIR="$out/build"
if [ "$mode" = test ]; then
  exec rake -m -j4 test
fi
rake -m -j"$(nproc)" > "$out/build.log" 2>&1 || { tail -40 "$out/build.log"; exit 1; }
