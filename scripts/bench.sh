#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its own figures.
#   scripts/bench.sh [rounds]    pane_bench (15 rounds by default), tree_bench, keys_bench
#   scripts/bench.sh --requests  the Wine server requests of one pane and one floor cycle
# pane_bench's table (with the commit and architecture it was measured on) also goes to
# build/bench/pane_bench.txt and its figures to build/bench/pane_bench.json; the JSON of the run
# before is kept as pane_bench.previous.json for comparison.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
rud_select_arch "$root"
build=$BUILD_DIR
out="$build/bench"
bed() { "$root/scripts/winebed.sh" "$build/winebed" "$@"; }

commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
git -C "$root" diff --quiet HEAD -- 2>/dev/null || commit="$commit+uncommitted"
export RUD_BENCH_COMMIT=$commit

if [ "${1:-}" = --requests ]; then
  "$root/scripts/build.sh" --target pane_bench
  # The server in the foreground with its request trace, in the bed's prefix; a mark is a
  # named event that pane_bench makes before and after each cycle, on its main thread.
  bed prepare
  export WINEPREFIX="$build/winebed/prefix"
  bed start >/dev/null
  wineserver -k || true
  wineserver -w || true
  log="$out/requests.log"
  wineserver -f -d1 2>"$log" &
  server=$!
  trap 'wineserver -k 2>/dev/null || true; wait $server 2>/dev/null || true; bed stop' EXIT
  sleep 1
  bed run "$out/pane_bench.exe" requests
  wineserver -k || true
  wait $server || true
  echo "commit $commit: Wine server requests of the main thread, one cycle (open + first paint + close)"
  awk '
    /create_event\(.*pane_bench\.begin\./ {
      match($0, /pane_bench\.begin\.[a-z]+\.[0-9]+/); phase = substr($0, RSTART + 17, RLENGTH - 17)
      tid = $1; n = 0; on = 1; next }
    /create_event\(.*pane_bench\.end\./ { count[phase] = n; on = 0; next }
    on && $1 == tid && /^[0-9a-f]+: [a-z_0-9]+\(/ && !/\) = / { n++ }
    END {
      printf "%-36s %12s %12s %9s\n", "", "pane", "floor", "pane-floor"
      split("0 100 5000 20000", sizes, " ")
      for (i = 1; i <= 4; i++) {
        s = sizes[i]
        printf "%-36s %12d %12d %+9d\n", "requests, " s " properties", count["pane." s], count["floor." s], count["pane." s] - count["floor." s]
      }
      for (i = 3; i <= 4; i++) {
        s = sizes[i]; p = (count["pane." s] - count["pane.0"]) / s; f = (count["floor." s] - count["floor.0"]) / s
        printf "%-36s %12.3f %12.3f %+9.3f\n", "requests per property at " s, p, f, p - f
      }
    }' "$log" | tee "$out/requests.txt"
  echo "requests by name: grep -o '^[0-9a-f]*: [a-z_]*(' $log | sort | uniq -c | sort -rn"
  exit 0
fi

rounds=${1:-15}
"$root/scripts/build.sh" --target pane_bench tree_bench keys_bench
bed start >/dev/null
trap 'bed stop' EXIT
[ -f "$out/pane_bench.json" ] && mv "$out/pane_bench.json" "$out/pane_bench.previous.json"
bed run "$out/pane_bench.exe" "$rounds" "Z:$out/pane_bench.json" | tee "$out/pane_bench.txt"
bed run "$out/tree_bench.exe"
bed run "$out/keys_bench.exe"
