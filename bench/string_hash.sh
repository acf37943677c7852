#!/bin/sh
# Hash work with String keys on our interpreter and on the same build without its keyed String
# hash (made once into BUILD/mruby-unkeyed), run in turn three times, so the two are measured
# side by side on a busy machine; then the ratio of each case, keyed / unkeyed.
# Usage: bench/string_hash.sh [build-dir] [stages of colliding names, 14 = 16,384] [rounds]
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-build}" && pwd)
stages=${2:-14}
rounds=${3:-1000000}
keyed="$build/mruby/build/host/bin/mruby"
unkeyed_out="$build/mruby-unkeyed"
unkeyed="$unkeyed_out/build/host/bin/mruby"
if [ ! -x "$unkeyed" ]; then
  patches=$(mktemp -d)
  for p in "$root"/mruby/patches/*.patch; do
    case "$p" in *string-hash-is-keyed*) ;; *) cp "$p" "$patches/" ;; esac
  done
  echo "building the interpreter without the keyed String hash into $unkeyed_out ..."
  sh "$root/mruby/build.sh" build "$root/.cache/mruby-3.1.0" "$unkeyed_out" "$patches"
  rm -rf "$patches"
fi
keys=$(mktemp)
trap 'rm -f "$keys" "$keys".*' EXIT
"$build/bench/fnv_collisions" "$stages" > "$keys"
for round in 1 2 3; do
  "$keyed" "$here/string_hash_cases.rb" "$keys" "$rounds" > "$keys.keyed.$round"
  "$unkeyed" "$here/string_hash_cases.rb" "$keys" "$rounds" > "$keys.unkeyed.$round"
done
echo "case          keyed (best of 3 runs)   unkeyed (best of 3 runs)   keyed / unkeyed"
cat "$keys".keyed.* | awk -v other="$(cat "$keys".unkeyed.* | tr '\n' '|')" '
  { if (!($1 in best) || $2 < best[$1]) best[$1] = $2; unit[$1] = $3 " " $4 " " $5 }
  END {
    n = split(other, lines, "|")
    for (i = 1; i <= n; i++) { split(lines[i], f, " "); if (f[1] != "" && (!(f[1] in ob) || f[2] < ob[f[1]])) ob[f[1]] = f[2] }
    split("small_read build_1000 read_10000 long_keys symbol_read colliding", order, " ")
    for (i = 1; i <= 6; i++) { c = order[i]; printf("%-12s %12.2f %-10s %12.2f %-10s %8.3f\n", c, best[c], (c == "colliding" ? "ms" : "ns/op"), ob[c], (c == "colliding" ? "ms" : "ns/op"), best[c] / ob[c]) }
  }'
