#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the Wine test bed need and is missing.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine32:i386 xvfb xauth libwine-dev
  googletest cmake make nlohmann-json3-dev libstb-dev
  wixl msitools osslsigncode openssl
)

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
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
# Recommended packages included: Wine's own fonts among them, which the windows under test draw with.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
