#!/usr/bin/env bash
# Configures (once) and builds the project into BUILD_DIR: build/ for x86, build-x64/ for x64,
# as scripts/arch.sh chooses (RUD_ARCH=x86|x64 forces it; a configured tree keeps its own).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/arch.sh"
rud_select_arch "$root"
build=$BUILD_DIR
"$root/scripts/setup.sh"
# A warning fails the build (CMAKE_COMPILE_WARNING_AS_ERROR), also in a tree configured before
# the option was set.
if [ ! -f "$build/CMakeCache.txt" ]; then
  toolchain=mingw-i686
  [ "$RUD_BUILD_ARCH" = x64 ] && toolchain=mingw-x86_64
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
elif ! grep -q '^CMAKE_COMPILE_WARNING_AS_ERROR:' "$build/CMakeCache.txt"; then
  cmake -B "$build" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
fi
cmake --build "$build" -j "$(nproc)" "$@"
