#!/usr/bin/env bash
# Random sessions of the add-in for as long as asked: scripts/fuzz.sh STEPS [SEED]
# STEPS in all, 1,000 per seed, seeds counting up from SEED (default: taken from the clock).
# Prints each seed's result; a failing seed prints the shrunk korvane-sim script that replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
rud_select_arch "$root"
build=$BUILD_DIR
bed=${WINEBED_DIR:-$build/winebed}  # a bed of its own keeps a long run apart from ctest
export WINEBED_ARCH=$RUD_BUILD_ARCH  # that bed may lie outside the build tree
steps=${1:?usage: scripts/fuzz.sh STEPS [SEED]}
seed=${2:-$(( $(date +%s) % 1000000 ))}
per=${RUD_FUZZ_PER_SEED:-1000}
"$root/scripts/build.sh" --target addin_fuzz_test >/dev/null
"$root/scripts/winebed.sh" "$bed" start >/dev/null || true  # may be up already
seeds=$(( (steps + per - 1) / per ))
echo "fuzz: $steps steps, seeds $seed..$(( seed + seeds - 1 )), $per steps each"
RUD_FUZZ_SEED=$seed RUD_FUZZ_SEEDS=$seeds RUD_FUZZ_STEPS=$per \
  "$root/scripts/winebed.sh" "$bed" run "$build/tests/addin_fuzz_test.exe" \
  --gtest_filter=RandomSessions.*
