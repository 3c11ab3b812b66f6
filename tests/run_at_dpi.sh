#!/usr/bin/env bash
# Runs a test program at another display resolution: in a private copy of the Wine test bed
# whose LogPixels is DPI ("-": the bed's own). The copy shares the bed's files through hard links
# (its registry is its own), has its own wineserver, and goes when the program ends.
# RUD_EXPECT_DPI tells the program. RUD_BED_INTERNATIONAL="NAME=VALUE;..." sets the user's
# regional settings of the copy as well (HKCU\Control Panel\International: sDecimal, ...).
#   run_at_dpi.sh BED_DIR DPI PROGRAM [ARGS...]
set -euo pipefail
bed=$(cd "$1" && pwd); dpi=$2; shift 2
work=$(mktemp -d "$bed/dpi$dpi.XXXXXX")
# Wine as the test bed runs it (the architecture of the build tree around it), in the copy.
copy() { "$(dirname "$0")/../scripts/winebed.sh" "$work" "$@"; }
export WINEPREFIX="$work/prefix" WINEDEBUG=${WINEDEBUG:--all}
if [ -z "${DISPLAY:-}" ] && [ -s "$bed/display" ]; then export DISPLAY; DISPLAY=$(cat "$bed/display"); fi
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP

mkdir -p "$WINEPREFIX"
cp -al "$bed/prefix/drive_c" "$WINEPREFIX/"
cp -a "$bed/prefix/dosdevices" "$bed/prefix/.update-timestamp" "$bed/prefix/"*.reg "$WINEPREFIX/"
# Files Wine may rewrite in place get copies of their own, so the bed never changes.
find "$WINEPREFIX/drive_c" -type f \( -name '*.ini' -o -name '*.log' \) -exec sh -c 'cp -p "$1" "$1.own" && mv "$1.own" "$1"' _ {} \;
touch "$work/prefix.ready"
if [ "$dpi" != "-" ]; then
  copy run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
fi
IFS=';' read -ra settings <<< "${RUD_BED_INTERNATIONAL:-}"
for setting in "${settings[@]}"; do
  copy run reg add 'HKCU\Control Panel\International' /v "${setting%%=*}" /t REG_SZ /d "${setting#*=}" /f >/dev/null 2>&1
done

set +e
RUD_EXPECT_DPI=$dpi copy run "$@" | tee "$work/out.txt"
rc=${PIPESTATUS[0]}
set -e
# A filter that selects nothing would pass for nothing.
grep -q '^\[ RUN      \]' "$work/out.txt" || { echo "run_at_dpi: no test ran" >&2; exit 1; }
exit "$rc"
