#!/usr/bin/env bash
# The main job: the host simulator with the add-in on the sample documents.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
bed="$root/scripts/winebed.sh $build/winebed"
$bed start >/dev/null
trap '$bed stop' EXIT
exec_demo() {
  if [ -x "$root/scripts/demo.sh" ]; then
    "$root/scripts/demo.sh" "$build"
  else
    echo "The host simulator is not built yet: only the support library can be shown."
    ls -l "$build"/src/support/*.a
  fi
}
exec_demo
