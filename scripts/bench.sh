#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its own figures.
#   scripts/bench.sh [rounds]
# pane_bench's table (with the commit and architecture it was measured on) also goes to
# build/bench/pane_bench.txt and its figures to build/bench/pane_bench.json; the JSON of the run
# before is kept as pane_bench.previous.json for comparison.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
rounds=${1:-15}
"$root/scripts/build.sh" --target pane_bench tree_bench keys_bench
bed="$root/scripts/winebed.sh $build/winebed"
$bed start >/dev/null
trap '$bed stop' EXIT

commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
git -C "$root" diff --quiet HEAD -- 2>/dev/null || commit="$commit+uncommitted"
export RUD_BENCH_COMMIT=$commit
out="$build/bench"
[ -f "$out/pane_bench.json" ] && mv "$out/pane_bench.json" "$out/pane_bench.previous.json"
$bed run "$out/pane_bench.exe" "$rounds" "Z:$out/pane_bench.json" | tee "$out/pane_bench.txt"
$bed run "$out/tree_bench.exe"
$bed run "$out/keys_bench.exe"
