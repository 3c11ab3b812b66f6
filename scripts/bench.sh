#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its own figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh" --target pane_bench tree_bench
bed="$root/scripts/winebed.sh $build/winebed"
$bed start >/dev/null
trap '$bed stop' EXIT
$bed run "$build/bench/pane_bench.exe"
$bed run "$build/bench/tree_bench.exe"
