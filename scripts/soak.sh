#!/usr/bin/env bash
# Builds and runs the soak (bench/soak.cpp): 10,000 open->close cycles and 10,000 Modify round
# trips with the process's figures every 1,000. scripts/soak.sh [CYCLES [EVERY]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
rud_select_arch "$root"
build=$BUILD_DIR
bed=${WINEBED_DIR:-$build/winebed}  # a bed of its own keeps a long run apart from ctest
export WINEBED_ARCH=$RUD_BUILD_ARCH  # that bed may lie outside the build tree
"$root/scripts/build.sh" --target soak >/dev/null
"$root/scripts/winebed.sh" "$bed" start >/dev/null || true  # may be up already
"$root/scripts/winebed.sh" "$bed" run "$build/bench/soak.exe" "$@"
