#!/usr/bin/env bash
# The main job: the host simulator with the add-in on the sample documents (see scripts/demo.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
rud_select_arch "$root"
build=$BUILD_DIR
"$root/scripts/build.sh" --target RuDerizIRA korvane-sim
bed() { "$root/scripts/winebed.sh" "$build/winebed" "$@"; }
bed start >/dev/null
trap 'bed stop' EXIT
"$root/scripts/demo.sh" "$build"
