# Sourced by the scripts: which architecture this machine builds and tests, and where.
#   rud_runs_32bit           0 when this machine runs 32-bit x86 code; sets rud_probe_why
#   rud_select_arch ROOT     sets and exports RUD_BUILD_ARCH (x86|x64) and BUILD_DIR, and says
#                            once, in one line, which and why. RUD_ARCH=x86|x64 forces a choice;
#                            a BUILD_DIR that recorded its architecture is followed.
# The shipped DLL is the x86 one: x86 wherever the machine runs it, x64 where the kernel refuses
# 32-bit code (its kernel log says "32-bit emulation disabled").

# A static i386 program of 93 bytes, written here so the probe needs nothing installed: an ELF
# header, one loadable segment, then "mov eax,1; xor ebx,ebx; int 0x80" (exit(0)).
rud_write_probe_elf() {
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'  # 32-bit, little endian
  printf '\002\000\003\000\001\000\000\000'                          # executable, i386, version 1
  printf '\124\200\004\010\064\000\000\000\000\000\000\000'          # entry 0x8048054, phoff 52
  printf '\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'  # flags, sizes, one segment
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'  # PT_LOAD at 0x8048000
  printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'  # 93 bytes, r-x
  printf '\270\001\000\000\000\061\333\315\200'                      # the code
}

rud_runs_32bit() {
  rud_probe_why=""
  # Only for trying the 64-bit path where 32-bit code does run.
  if [ "${RUD_PROBE_32:-}" = no ]; then
    rud_probe_why="RUD_PROBE_32=no says so"
    return 1
  fi
  case "$(uname -m)" in
    x86_64 | i?86) ;;
    *) rud_probe_why="the machine is $(uname -m)"; return 1 ;;
  esac
  # An emulator registered for i386 programs would answer the probe, yet cannot run Wine.
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    if grep -qx enabled "$entry" 2>/dev/null &&
       grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null; then
      rud_probe_why="i386 programs go to an emulator ($(sed -n 's/^interpreter //p' "$entry"))"
      return 1
    fi
  done
  local dir probe out rc=0
  # Beside the scripts, which run from there: a temporary folder may be mounted noexec.
  dir=$(mktemp -d "$(dirname "${BASH_SOURCE[0]}")/.probe32.XXXXXX" 2>/dev/null || mktemp -d)
  probe=$dir/probe32
  rud_write_probe_elf >"$probe"
  chmod +x "$probe"
  out=$("$probe" 2>&1) || rc=$?
  rm -rf "$dir"
  if [ $rc -ne 0 ]; then
    rud_probe_why="a 32-bit program does not run here (${out##*: }${out:+, }exit $rc)"
    [ -z "$out" ] && rud_probe_why="a 32-bit program does not run here (exit $rc)"
    return 1
  fi
  rud_probe_why="a 32-bit program runs here"
  return 0
}

rud_default_build_dir() {  # rud_default_build_dir ROOT ARCH
  if [ "$2" = x64 ]; then echo "$1/build-x64"; else echo "$1/build"; fi
}

rud_select_arch() {
  local root=$1 recorded="" arch why
  # Chosen already by the script that called this one.
  if [ -n "${RUD_BUILD_ARCH:-}" ] && [ -n "${BUILD_DIR:-}" ]; then return 0; fi
  if [ -n "${BUILD_DIR:-}" ] && [ -s "$BUILD_DIR/rud-arch" ]; then
    recorded=$(cat "$BUILD_DIR/rud-arch")
  fi
  case "${RUD_ARCH:-}" in
    "" | x86 | x64) ;;
    *) echo "arch: RUD_ARCH must be x86 or x64, not \"$RUD_ARCH\"" >&2; return 2 ;;
  esac
  if [ -n "$recorded" ]; then
    if [ -n "${RUD_ARCH:-}" ] && [ "$RUD_ARCH" != "$recorded" ]; then
      echo "arch: RUD_ARCH=$RUD_ARCH, but $BUILD_DIR is built for $recorded" >&2
      return 2
    fi
    arch=$recorded why="recorded in $BUILD_DIR"
  elif [ "${RUD_ARCH:-}" = x64 ]; then
    arch=x64 why="RUD_ARCH=x64"
  elif [ "${RUD_ARCH:-}" = x86 ]; then
    if ! rud_runs_32bit; then
      echo "arch: RUD_ARCH=x86 cannot be run on this machine: $rud_probe_why" >&2
      return 2
    fi
    arch=x86 why="RUD_ARCH=x86"
  elif rud_runs_32bit; then
    arch=x86 why="$rud_probe_why: the shipped 32-bit DLL is what runs"
  else
    arch=x64 why="this machine refuses 32-bit code: $rud_probe_why; the x86 DLL is built and checked from its file"
  fi
  export RUD_BUILD_ARCH=$arch
  export BUILD_DIR=${BUILD_DIR:-$(rud_default_build_dir "$root" "$arch")}
  echo "arch: $arch ($why), build folder $BUILD_DIR" >&2
}
