#!/usr/bin/env bash
# The packaging command: RuDerizIRA.dll in release form, RuDerizIRA-<version>.msi, the DLL's
# symbols dist/RuDerizIRA.pdb (for crash dumps; not installed) and dist/SHA256SUMS. With a
# certificate (installer/sign.sh: RUD_SIGN_PFX, RUD_SIGN_PASSWORD) the DLL is signed before it
# goes into the package, then the package.
#   PACKAGE_BUILD_DIR  build folder (default build/release); PACKAGE_SKIP_BUILD=1 takes its DLL as it is
#   DIST_DIR           output folder (default dist)
# The package is always the x86 DLL's. Where the machine refuses 32-bit code its build-time tools
# are built for x64 and run in a 64-bit test bed (the content is the same).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PACKAGE_BUILD_DIR:-$root/build/release}
dist=${DIST_DIR:-$root/dist}
. "$root/scripts/arch.sh"

if [ -z "${PACKAGE_SKIP_BUILD:-}" ]; then
  "$root/scripts/setup.sh"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    tools=x86
    if ! rud_runs_32bit; then
      tools=x64
      echo "package: x86 DLL, build-time tools for x64 ($rud_probe_why)" >&2
    fi
    # -O2 as the tested build (GCC 12's -O3 warns falsely in std::vector code), no asserts, stripped.
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DCMAKE_SHARED_LINKER_FLAGS_RELEASE=-s -DRUD_PDB=ON -DRUD_TOOL_ARCH=$tools \
      -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  fi
  cmake --build "$build" -j "$(nproc)" --target RuDerizIRA rud_make_installer_rows
  [ "$(cat "$build/rud-arch")" = x86 ] || { echo "package: $build is not an x86 build" >&2; exit 1; }
fi
# The installer tool and the test bed it runs in, as the build tree names them.
. "$build/rud-tools.sh"

stage=$build/package
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/bin/RuDerizIRA.dll" "$stage/"
# Linked with the DLL: signing leaves the debug directory that names it as it is.
pdb=$build/bin/RuDerizIRA.pdb
[ -f "$pdb" ] || { echo "package: no $pdb (a build with -DRUD_PDB=OFF?)" >&2; exit 1; }
signed=yes
"$root/installer/sign.sh" "$stage/RuDerizIRA.dll" || { [ $? -eq 3 ] && signed=no || exit 1; }
msi=$("$root/installer/make-msi.sh" "$tool_bed" "$installer_rows" \
  "$stage/RuDerizIRA.dll" "$stage" | tail -1)
[ $signed = yes ] && "$root/installer/sign.sh" "$msi"

rm -rf "$dist"
mkdir -p "$dist"
cp "$msi" "$pdb" "$dist/"
(cd "$dist" && sha256sum -- *.msi RuDerizIRA.pdb >SHA256SUMS)
echo "package: $dist/$(basename "$msi") ($(stat -c %s "$msi") bytes)"
if [ $signed = no ]; then
  echo "package: UNSIGNED: no certificate given (RUD_SIGN_PFX, RUD_SIGN_PASSWORD): neither the DLL nor the package is signed"
fi
