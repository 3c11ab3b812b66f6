#!/usr/bin/env bash
# The choice of architecture (scripts/arch.sh) as the scripts make it: one line says which and
# why; a forced x86 is refused in one line where 32-bit code does not run; a build folder keeps
# the architecture it recorded. A refusing machine is stood for by RUD_PROBE_32=no.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
# select VAR=VALUE...: runs the choice in a clean environment; prints "rc|arch|build|stderr".
select_arch() {
  env -i PATH="$PATH" "$@" bash -c '. "$0/scripts/arch.sh"; rud_select_arch "$0"; rc=$?
    echo "$rc|${RUD_BUILD_ARCH:-}|${BUILD_DIR:-}"' "$root" 2>"$work/err"
}
lines() { wc -l <"$work/err"; }

out=$(select_arch RUD_PROBE_32=no)
[ "$out" = "0|x64|$root/build-x64" ] || fail "refusing machine: $out"
[ "$(lines)" = 1 ] && grep -q '^arch: x64 (this machine refuses 32-bit code: RUD_PROBE_32=no says so' "$work/err" ||
  fail "refusing machine said: $(cat "$work/err")"

out=$(select_arch RUD_PROBE_32=no RUD_ARCH=x86)
[ "${out%%|*}" != 0 ] || fail "x86 forced on a refusing machine was taken: $out"
[ "$(lines)" = 1 ] && grep -q '^arch: RUD_ARCH=x86 cannot be run on this machine' "$work/err" ||
  fail "x86 forced on a refusing machine said: $(cat "$work/err")"

out=$(select_arch RUD_ARCH=x64)
[ "$out" = "0|x64|$root/build-x64" ] || fail "x64 forced: $out"
grep -q '^arch: x64 (RUD_ARCH=x64)' "$work/err" || fail "x64 forced said: $(cat "$work/err")"

out=$(select_arch RUD_ARCH=arm)
[ "${out%%|*}" != 0 ] && grep -q 'RUD_ARCH must be x86 or x64' "$work/err" || fail "RUD_ARCH=arm: $out $(cat "$work/err")"

# A folder built for x64 stays x64 whatever the probe says, and refuses another choice.
mkdir -p "$work/tree" && echo x64 >"$work/tree/rud-arch"
out=$(select_arch BUILD_DIR="$work/tree")
[ "$out" = "0|x64|$work/tree" ] || fail "recorded x64: $out"
out=$(select_arch BUILD_DIR="$work/tree" RUD_ARCH=x86)
[ "${out%%|*}" != 0 ] && grep -q "is built for x64" "$work/err" || fail "a choice against the folder: $out"

# Without a choice, the probe decides; the probe program is made by the script itself.
. "$root/scripts/arch.sh"
if rud_runs_32bit; then expect="0|x86|$root/build"; else expect="0|x64|$root/build-x64"; fi
out=$(select_arch)
[ "$out" = "$expect" ] || fail "unforced: $out, probe: $rud_probe_why"
echo "ok: $(cat "$work/err")"
