#!/usr/bin/env bash
# The Wine test bed: a private prefix inside the build tree (32-bit, or 64-bit for an x64 build
# tree), a persistent wineserver and, when there is no display, an Xvfb of our own.
#   winebed.sh DIR prepare      make the prefix if it is not there yet (serialised by a lock)
#   winebed.sh DIR start        prepare, start Xvfb when needed, keep wineserver alive
#   winebed.sh DIR stop         stop Wine, then the Xvfb that start launched
#   winebed.sh DIR run PROG ... run a Windows program in the bed (the CTest emulator)
set -euo pipefail

dir=$(mkdir -p "$1" && cd "$1" && pwd); shift
cmd=$1; shift

# The architecture: WINEBED_ARCH, else the one recorded by the nearest build tree around DIR.
arch=${WINEBED_ARCH:-}
if [ -z "$arch" ]; then
  up=$dir
  while [ "$up" != / ] && [ ! -s "$up/rud-arch" ]; do up=$(dirname "$up"); done
  arch=$(cat "$up/rud-arch" 2>/dev/null || echo x86)
fi
export WINEPREFIX="$dir/prefix"
if [ "$arch" = x64 ]; then
  export WINEARCH=win64
  # wine, wineboot, regsvr32, msiexec ... take Wine's 32-bit loader whenever it is installed:
  # scripts named wine and wine-stable first on PATH give them the 64-bit one (a symbolic link
  # would not do: the loader finds its files through its own name).
  wrappers="$dir/wine64-bin"
  if [ ! -x "$wrappers/wine-stable" ]; then
    mkdir -p "$wrappers"
    for name in wine wine-stable; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$wrappers/$name.tmp$$"
      chmod +x "$wrappers/$name.tmp$$"
      mv -f "$wrappers/$name.tmp$$" "$wrappers/$name"
    done
  fi
  export PATH="$wrappers:$PATH" WINELOADER=/usr/lib/wine/wine64
else
  export WINEARCH=win32
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

use_display() {
  if [ -z "${DISPLAY:-}" ] && [ -s "$dir/display" ]; then
    export DISPLAY
    DISPLAY=$(cat "$dir/display")
  fi
}

prepare() {
  [ -f "$dir/prefix.ready" ] && return 0
  exec 9>"$dir/prefix.lock"
  flock 9
  if [ ! -f "$dir/prefix.ready" ]; then
    rm -rf "$WINEPREFIX"
    # No display is needed (nor wanted) while the prefix is made.
    DISPLAY= wineboot -i >"$dir/wineboot.log" 2>&1
    # A crash must end the program at once instead of waiting on Wine's crash dialog.
    DISPLAY= wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >>"$dir/wineboot.log" 2>&1
    # Windows not managed by a window manager (there is none on Xvfb) appear and activate at once
    # instead of waiting for one: every message box and top-level window would cost seconds.
    DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      >>"$dir/wineboot.log" 2>&1
    wineserver -w
    touch "$dir/prefix.ready"
  fi
  flock -u 9
}

start_xvfb() {
  [ -n "${DISPLAY:-}" ] && return 0
  if [ -s "$dir/xvfb.pid" ] && [ -s "$dir/display" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
    return 0
  fi
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 < /dev/null &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo ":$n" >"$dir/display"; return 0; }
      kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "winebed: could not start Xvfb" >&2
  return 1
}

# The desktop's explorer ends soon after the last program on the desktop, and the next program
# starts a new one that inherits that program's standard error: the test runner then waits for
# the explorer as well as for the test, and a test that passed can time out. A command prompt
# reading a pipe that never ends keeps the desktop, and its explorer, up until the bed stops.
keep_desktop() {
  if [ -s "$dir/keeper.pid" ] && kill -0 "$(cat "$dir/keeper.pid")" 2>/dev/null; then return 0; fi
  setsid bash -c 'sleep infinity | wine cmd' >>"$dir/wineserver.log" 2>&1 < /dev/null &
  echo $! >"$dir/keeper.pid"
  local _ pid
  for _ in $(seq 1 100); do
    for pid in $(pgrep -f 'explorer.exe /desktop'); do
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        return 0
      fi
    done
    sleep 0.1
  done
  echo "winebed: the desktop did not start" >&2
  return 1
}

case "$cmd" in
  prepare) prepare ;;
  start)
    prepare
    start_xvfb
    use_display
    # A server still up (a build step's short-lived one, or an earlier start's) refuses -p: end
    # it and start the persistent one.
    if ! setsid wineserver -p >"$dir/wineserver.log" 2>&1 < /dev/null; then
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      setsid wineserver -p >"$dir/wineserver.log" 2>&1 < /dev/null
    fi
    # Wine's own long-lived processes (services, the desktop's explorer) start with the first
    # program: start them here, away from the test runner's output pipes, which they would
    # otherwise hold open after every test.
    setsid wine cmd /c exit >>"$dir/wineserver.log" 2>&1 < /dev/null
    keep_desktop
    echo "winebed: prefix $WINEPREFIX, display ${DISPLAY:-none}"
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [ -s "$dir/keeper.pid" ]; then
      kill -- -"$(cat "$dir/keeper.pid")" 2>/dev/null || true
      rm -f "$dir/keeper.pid"
    fi
    if [ -s "$dir/xvfb.pid" ]; then
      kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
      rm -f "$dir/xvfb.pid" "$dir/display"
    fi
    ;;
  run)
    prepare
    use_display
    exec wine "$@"
    ;;
  *) echo "winebed: unknown command $cmd" >&2; exit 2 ;;
esac
