#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its own figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
rud_select_arch "$root"
build=$BUILD_DIR
"$root/scripts/build.sh" --target pane_bench tree_bench
bed="$root/scripts/winebed.sh $build/winebed"
$bed start >/dev/null
trap '$bed stop' EXIT
$bed run "$build/bench/pane_bench.exe"
$bed run "$build/bench/tree_bench.exe"
$bed run "$build/bench/keys_bench.exe"
