#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the Wine test bed need and is missing:
# what the x86 and x64 builds both need, and the 32-bit parts (the i386 architecture, 32-bit Wine)
# only where the machine runs 32-bit code (scripts/arch.sh probes it).
# Idempotent and quiet when everything is already there.
set -euo pipefail
. "$(dirname "$0")/arch.sh"

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xauth libwine-dev
  googletest cmake make nlohmann-json3-dev libstb-dev
  wixl msitools osslsigncode openssl
  llvm-14
)
i386=no
if rud_runs_32bit; then
  i386=yes
  packages+=(wine32:i386)
fi

# The usual case, every package installed, in one query: one line "ii " per package.
statuses=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
[ "$(grep -c '^ii ' <<<"$statuses")" -eq ${#packages[@]} ] && [ "$(wc -l <<<"$statuses")" -eq ${#packages[@]} ] && exit 0

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "setup: installing ${missing[*]}" >&2
if [ $i386 = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
# Recommended packages included: Wine's own fonts among them, which the windows under test draw with.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
