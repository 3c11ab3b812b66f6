#!/usr/bin/env bash
# The installer package under Wine, each case in fresh private prefixes below $WORK:
#   install    silent install; the rows equal what regsvr32 writes for the same file (a second
#              prefix); the ProgID creates the object; the type library loads; ARP fields.
#              Leaves the prefix "installed" for the next two.
#   host       korvane-sim without an add-in named finds the installed one, opens a document,
#              shows its pane.
#   remove     deletes the "installed" prefix.
#   signing    scripts/package.sh with a throwaway certificate: the DLL inside the package and the
#              package verify, a changed byte does not; without one it says it is unsigned.
#   upgrade    1.0.0.14, then a later test build: one product, one set of rows; the older package
#              is refused; uninstall leaves no row, file or folder.
# Environment (set by tests/installer.cmake): ROOT BUILD WORK MSI NEXT_MSI NEXT_DLL PROBE SIM SAMPLES.
set -euo pipefail
cmd=$1
win() { echo "Z:${1//\//\\}"; }
fail() { echo "FAILED: $*" >&2; exit 1; }
step() { echo "== $*"; }

bed() { "$ROOT/scripts/winebed.sh" "$WORK/$prefix" "$@"; }
# A fresh prefix of its own; later commands of this script run in it.
use_fresh_prefix() {
  prefix=$1
  rm -rf "${WORK:?}/$prefix"
  bed prepare
  export WINEPREFIX=$WORK/$prefix/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}
use_prefix() {
  prefix=$1
  export WINEPREFIX=$WORK/$prefix/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}
timed() {  # timed LABEL COMMAND...: runs it, prints the seconds it took
  local start=${EPOCHREALTIME/./} rc=0
  "${@:2}" || rc=$?
  local ms=$(( (${EPOCHREALTIME/./} - start) / 1000 ))
  printf '%s took %d.%02d s\n' "$1" $((ms / 1000)) $((ms % 1000 / 10))
  return $rc
}
msiexec() { bed run msiexec "$@" /qn; }

# The prefix's registry as sorted lines "hive:key|value" (key in lower case, a line "hive:key|"
# for every key), once Wine has written it out.
snapshot() {
  wineserver -w
  local h
  for h in system user; do
    awk -v hive=$h '
      /^\[/ { key = $0; sub(/\] [0-9]+$/, "", key); key = tolower(substr(key, 2)); print hive ":" key "|"; next }
      /^(#|;|WINE REGISTRY|$)/ { next }
      { line = $0
        while (line ~ /\\$/ && (getline more) > 0) { sub(/\\$/, "", line); sub(/^ +/, "", more); line = line more }
        print hive ":" key "|" line }' "$WINEPREFIX/$h.reg"
  done | LC_ALL=C sort -u >"$1"
}
# State Wine itself changes on every start: devices, fonts, network cards.
wine_noise='^(system|user):(system\\\\currentcontrolset\\\\(control\\\\class|control\\\\deviceclasses|enum)|software\\\\wine\\\\|software\\\\microsoft\\\\windows nt\\\\currentversion\\\\networkcards)'
# The installer's own bookkeeping.
installer_books='^system:software\\\\(classes\\\\installer\\\\|microsoft\\\\windows\\\\currentversion\\\\(installer|uninstall)\\\\)'
host_entry='^system:software\\\\korvanesim\\\\'
# Lines in $2 that are not in $1 (new or changed), without Wine's noise.
added() { LC_ALL=C comm -13 "$1" "$2" | grep -Ev "$wine_noise" || true; }
# Values in $1 that are gone in $2. (A key without values is saved only while it has no subkeys.)
removed() { LC_ALL=C comm -23 "$1" "$2" | grep -Ev "$wine_noise" | grep -v '|$' || true; }
# A whole snapshot without Wine's noise and the installer's bookkeeping.
rows() { grep -Ev "$wine_noise" "$1" | grep -Ev "$installer_books" || true; }
same() {  # same WHAT EXPECTED ACTUAL
  diff -u "$2" "$3" >&2 || fail "$1"
}

installed_dll='C:\Program Files\RuDerizIRA\RuDerizIRA.dll'
installed_dir=Program\ Files/RuDerizIRA
product_code() { sed -n 's/.*define ProductCode = "\([^"]*\)".*/{\1}/p' "$(dirname "$1")/wix/product.wxi"; }

case "$cmd" in
install)
  step "silent install of $(basename "$MSI") ($(stat -c %s "$MSI") bytes)"
  use_fresh_prefix installed
  snapshot "$WORK/before-msi"
  timed "install" msiexec /i "$(win "$MSI")"
  snapshot "$WORK/after-msi"
  [ -f "$WINEPREFIX/drive_c/$installed_dir/RuDerizIRA.dll" ] || fail "no installed DLL"

  step "the same file registered by regsvr32 in a prefix of its own"
  use_fresh_prefix regsvr32
  mkdir -p "$WINEPREFIX/drive_c/$installed_dir"
  cp "$WORK/installed/prefix/drive_c/$installed_dir/RuDerizIRA.dll" "$WINEPREFIX/drive_c/$installed_dir/"
  snapshot "$WORK/before-reg"
  bed run regsvr32 /s "$installed_dll" || fail "regsvr32"
  snapshot "$WORK/after-reg"
  added "$WORK/before-reg" "$WORK/after-reg" >"$WORK/rows-regsvr32"
  added "$WORK/before-msi" "$WORK/after-msi" | grep -Ev "$installer_books" >"$WORK/rows-msi"
  grep -q 'inprocserver32|@="C:\\\\Program Files\\\\RuDerizIRA\\\\RuDerizIRA.dll"' "$WORK/rows-regsvr32" ||
    fail "regsvr32 wrote no class for the DLL: $(cat "$WORK/rows-regsvr32")"
  same "the installer's rows differ from regsvr32's" "$WORK/rows-regsvr32" <(grep -Ev "$host_entry" "$WORK/rows-msi")
  a='system:software\\korvanesim\\addins\\ruderizira.myaddin'
  printf '%s\n' "$a|" "$a"'|"LoadBehavior"=dword:00000001' >"$WORK/expected-host"
  same "the host entry" "$WORK/expected-host" <(grep -E "$host_entry" "$WORK/rows-msi")
  removed "$WORK/before-msi" "$WORK/after-msi" | grep -Ev "$installer_books" | grep . && fail "the install removed rows"
  rm -rf "${WORK:?}/regsvr32"
  echo "ok: $(wc -l <"$WORK/rows-regsvr32") lines, the same in both prefixes, and the host entry"

  step "the ProgID and the type library"
  use_prefix installed
  bed run "$PROBE" "$installed_dll"

  step "Add/Remove Programs"
  code=$(product_code "$MSI")
  arp=$(grep -F "uninstall\\\\${code,,}|" "$WORK/after-msi")
  for field in '"DisplayName"="RUDerIzIra"' '"DisplayVersion"="1.0.0.14"' '"Publisher"="RuDerizIRA team"' \
               '"HelpLink"="https://' '"NoModify"=dword:00000001'; do
    grep -qF "$field" <<<"$arp" || fail "ARP field $field missing: $arp"
  done
  icon=$(grep -F '"ProductIcon"=' "$WORK/after-msi" | sed 's/.*"ProductIcon"="C:\\\\\(.*\)"/\1/; s/\\\\/\//g')
  [ -n "$icon" ] && cmp -s "$WINEPREFIX/drive_c/$icon" "$(dirname "$MSI")/wix/product.ico" || fail "no product icon"
  echo "ok: name, version, publisher, help link, icon"
  ;;

host)
  use_prefix installed
  docs="$WORK/host-docs"
  rm -rf "$docs"
  mkdir -p "$docs"
  cp "$SAMPLES/Drawing A-1001.json" "$docs/"
  printf 'wait 100\nclick-tree Author\nscreenshot "%s"\n' "$(win "$docs/shot.png")" >"$docs/look.kvs"
  bed start >/dev/null
  trap 'bed stop' EXIT
  step "korvane-sim with no add-in named"
  bed run "$SIM" --script "$(win "$docs/look.kvs")" "$(win "$docs/Drawing A-1001.json")" >"$docs/out" 2>&1 ||
    fail "korvane-sim: $(cat "$docs/out")"
  cat "$docs/out"
  doc='Z:'${docs//\//\\}'\Drawing A-1001.json'
  for line in 'korvane-sim: loaded RuDerizIRA.MyAddin (HKLM)' "AddIn: AfterDocumentOpen $doc" \
              'AddIn: AddVaneBarPage ' 'AddIn: ChangeParentWindow ' "Addin: InitForm for $doc"; do
    grep -qF "$line" "$docs/out" || fail "no line \"$line\""
  done
  [ -s "$docs/shot.png" ] || fail "no screenshot"
  echo "ok: the listed add-in was loaded, its page shows the tree of the document"
  ;;

remove)
  prefix=installed
  bed stop >/dev/null 2>&1 || true
  rm -rf "${WORK:?}/installed" "$WORK"/before-* "$WORK"/after-* "$WORK"/rows-* "$WORK/host-docs"
  ;;

upgrade)
  use_fresh_prefix upgrade
  snapshot "$WORK/pristine"
  step "install $(basename "$MSI")"
  timed "install" msiexec /i "$(win "$MSI")"
  snapshot "$WORK/first"
  step "upgrade to $(basename "$NEXT_MSI")"
  timed "upgrade" msiexec /i "$(win "$NEXT_MSI")"
  snapshot "$WORK/next"
  cmp -s "$WINEPREFIX/drive_c/$installed_dir/RuDerizIRA.dll" "$NEXT_DLL" || fail "the DLL was not replaced"
  products=$(grep -c '^system:software\\\\microsoft\\\\windows\\\\currentversion\\\\uninstall\\\\{e161312d-[^\\]*|$' "$WORK/next")
  [ "$products" = 1 ] || fail "$products products after the upgrade"
  same "the rows after the upgrade" <(rows "$WORK/first") <(rows "$WORK/next")
  echo "ok: one product ($(product_code "$NEXT_MSI")), one set of rows"

  step "the older package is refused"
  # Windows Installer shows the launch condition's message; with /qn Wine shows nothing and
  # writes no message to its log, so the message is read from the package.
  msiinfo export "$MSI" LaunchCondition | grep -F 'NOT WIX_DOWNGRADE_DETECTED	A newer version of [ProductName] is already installed.' ||
    fail "no downgrade message in the package"
  rc=0
  bed run msiexec /i "$(win "$MSI")" /qn || rc=$?
  # 1603 (ERROR_INSTALL_FAILURE), of which the shell sees the low byte.
  [ "$rc" = $((1603 & 255)) ] || fail "the older package gave exit code $rc"
  snapshot "$WORK/refused"
  same "the refusal changed the registry" <(rows "$WORK/next") <(rows "$WORK/refused")
  echo "ok: refused with exit code $rc"

  step "uninstall"
  timed "uninstall" msiexec /x "$(product_code "$NEXT_MSI")"
  snapshot "$WORK/gone"
  same "rows left behind or lost" <(rows "$WORK/pristine") <(rows "$WORK/gone")
  # Of the bookkeeping only empty folders stay: nothing that names the product, plain or packed.
  grep -Ei 'ruderizira|e161312d|d213161e28916ca4aa32|59c46a4be177d5148976' "$WORK/gone" && fail "the installer still knows the product"
  [ ! -e "$WINEPREFIX/drive_c/$installed_dir" ] || fail "$installed_dir is still there"
  left=$(find "$WINEPREFIX/drive_c" -iname '*ruderizira*' -o -iname '*e161312d*')
  [ -z "$left" ] || fail "files left: $left"
  echo "ok: no row, no file, no folder"
  rm -rf "${WORK:?}/upgrade" "$WORK"/{pristine,first,next,refused,gone}
  ;;
signing)
  dir=$WORK/signing
  rm -rf "$dir"
  mkdir -p "$dir"
  step "a throwaway self-signed code-signing certificate"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=RuDerizIRA test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
  export RUD_SIGN_PASSWORD=throwaway RUD_SIGN_PFX=$dir/test.pfx
  openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -passout "pass:$RUD_SIGN_PASSWORD" -out "$RUD_SIGN_PFX"
  verify() { osslsigncode verify -CAfile "$dir/cert.pem" -in "$1" >"$dir/verify.out" 2>&1; }
  # The byte in the middle: code of the DLL, the cabinet inside the package.
  flipped() { cp "$1" "$2"; printf '\xA5' | dd of="$2" bs=1 seek=$(( $(stat -c %s "$1") / 2 )) conv=notrunc status=none; }

  step "scripts/package.sh with the certificate"
  PACKAGE_SKIP_BUILD=1 PACKAGE_BUILD_DIR=$BUILD DIST_DIR=$dir/dist "$ROOT/scripts/package.sh" | tee "$dir/package.out"
  grep -q UNSIGNED "$dir/package.out" && fail "reported unsigned"
  msi=$(ls "$dir"/dist/RuDerizIRA-*.msi)
  (cd "$dir/dist" && sha256sum -c SHA256SUMS) || fail "SHA256SUMS"
  msiextract -C "$dir/files" "$msi" >/dev/null
  dll=$(find "$dir/files" -name RuDerizIRA.dll)
  for f in "$dll" "$msi"; do
    verify "$f" || fail "$(basename "$f") does not verify: $(cat "$dir/verify.out")"
    grep -q 'Message digest algorithm *: SHA256' "$dir/verify.out" || fail "$(basename "$f") not signed with SHA-256: $(cat "$dir/verify.out")"
    flipped "$f" "$dir/changed"
    verify "$dir/changed" && fail "$(basename "$f") with a changed byte still verifies"
    echo "ok: $(basename "$f") verifies, and fails with a changed byte"
  done

  step "scripts/package.sh without a certificate"
  unset RUD_SIGN_PFX RUD_SIGN_PASSWORD
  PACKAGE_SKIP_BUILD=1 PACKAGE_BUILD_DIR=$BUILD DIST_DIR=$dir/dist "$ROOT/scripts/package.sh" >"$dir/package.out"
  grep -F "UNSIGNED: no certificate given" "$dir/package.out" || fail "no word of an unsigned package"
  verify "$(ls "$dir"/dist/RuDerizIRA-*.msi)" && fail "an unsigned package verifies"
  rm -rf "$dir"
  ;;
*) fail "unknown command $cmd" ;;
esac
