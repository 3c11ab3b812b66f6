#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
rud_select_arch "$root"
build=$BUILD_DIR
"$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
