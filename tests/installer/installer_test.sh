#!/usr/bin/env bash
# The installer package under Wine, each case in fresh private prefixes below $WORK:
#   install  silent install; its rows equal regsvr32's for the same file (in a second prefix);
#            ProgID, type library, Add/Remove Programs fields. Leaves prefix "installed" to:
#            (ARCH=x64, where the x86 DLL cannot run: the package in a 64-bit prefix, its file
#            under Program Files (x86), its rows equal to those TABLE writes for the same file
#            with the DLL's registration table and type library; no ProgID or host check.)
#   host     korvane-sim with no add-in named finds the installed one and shows its page;
#   remove   deletes prefix "installed".
#   upgrade  to a later test build: one product, one set of rows; the older package is refused;
#            uninstall leaves no row, file or folder.
#   signing  scripts/package.sh with a throwaway certificate, and without one; the signed DLL in
#            the package still matches the PDB beside it.
# Environment (tests/installer.cmake): ROOT BUILD WORK MSI NEXT_MSI NEXT_DLL PROBE SIM SAMPLES ARCH TABLE.
set -euo pipefail
ARCH=${ARCH:-x86}
wine_arch=win32
# An x86 package in a 64-bit prefix: its files and rows go to the 32-bit side.
# wow: the 32-bit view's key as the snapshots spell it; wow_re: the same in a pattern.
programs='Program Files' wow='' wow_re=''
if [ "$ARCH" = x64 ]; then wine_arch=win64 programs='Program Files (x86)' wow='wow6432node\\' wow_re='wow6432node\\\\'; fi
win() { echo "Z:${1//\//\\}"; }
fail() { echo "FAILED: $*" >&2; exit 1; }
bed() { "$ROOT/scripts/winebed.sh" "$WORK/$prefix" "$@"; }
use_prefix() {  # use_prefix NAME [fresh]: later Wine commands run in $WORK/NAME
  prefix=$1
  [ "${2:-}" = fresh ] && { rm -rf "${WORK:?}/$prefix"; bed prepare; }
  export WINEPREFIX=$WORK/$prefix/prefix WINEARCH=$wine_arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}
msiexec() {  # msiexec LABEL ARGS...: silent, timed
  local start=${EPOCHREALTIME/./} rc=0
  bed run msiexec "${@:2}" /qn || rc=$?
  local ms=$(((${EPOCHREALTIME/./} - start) / 1000))
  printf '%s took %d.%02d s\n' "$1" $((ms / 1000)) $((ms % 1000 / 10))
  return $rc
}

# State Wine changes by itself on every start (devices, fonts, network cards), and the
# installer's own bookkeeping.
wine_noise='^(system|user):(system\\\\currentcontrolset\\\\(control\\\\class|control\\\\deviceclasses|enum)|software\\\\wine\\\\|software\\\\microsoft\\\\windows nt\\\\currentversion\\\\networkcards)'
books='^system:software\\\\('"$wow_re"')?(classes\\\\installer\\\\|microsoft\\\\windows\\\\currentversion\\\\(installer|uninstall)\\\\)'
# The registry, once Wine has written it out, as sorted lines "hive:key|value" (keys in lower
# case; "hive:key|" for a key), without Wine's noise.
snapshot() {
  wineserver -w
  for h in system user; do
    awk -v hive=$h '
      /^\[/ { key = $0; sub(/\] [0-9]+$/, "", key); key = tolower(substr(key, 2)); print hive ":" key "|"; next }
      /^(#|;|WINE REGISTRY|$)/ { next }
      { line = $0
        while (line ~ /\\$/ && (getline more) > 0) { sub(/\\$/, "", line); sub(/^ +/, "", more); line = line more }
        print hive ":" key "|" line }' "$WINEPREFIX/$h.reg"
  done | grep -Ev "$wine_noise" | LC_ALL=C sort -u >"$WORK/$1"
}
added() { LC_ALL=C comm -13 "$WORK/$1" "$WORK/$2"; }
# Values gone (a key without values is saved only while it has no subkeys).
removed() { LC_ALL=C comm -23 "$WORK/$1" "$WORK/$2" | grep -v '|$' || true; }
rows() { grep -Ev "$books" "$WORK/$1" || true; }
same() { diff -u "$2" "$3" >&2 || fail "$1"; }

installed_dll="C:\\$programs\\RuDerizIRA\\RuDerizIRA.dll"
installed_dir="$programs/RuDerizIRA"
product_code() { sed -n 's/.*define ProductCode = "\([^"]*\)".*/{\1}/p' "$(dirname "$1")/wix/product.wxi"; }

case $1 in
install)
  echo "package $(basename "$MSI"): $(stat -c %s "$MSI") bytes"
  use_prefix installed fresh
  snapshot before-msi
  msiexec install /i "$(win "$MSI")"
  snapshot after-msi
  host="system:software\\\\${wow}korvanesim\\\\addins\\\\ruderizira.myaddin"
  if [ "$ARCH" = x86 ]; then
    use_prefix regsvr32 fresh
    mkdir -p "$WINEPREFIX/drive_c/$installed_dir"
    cp "$WORK/installed/prefix/drive_c/$installed_dir/RuDerizIRA.dll" "$WINEPREFIX/drive_c/$installed_dir/"
    snapshot before-reg
    bed run regsvr32 /s "$installed_dll" || fail "regsvr32"
    snapshot after-reg
    rm -rf "${WORK:?}/regsvr32"
    added before-reg after-reg >"$WORK/rows-regsvr32"
    grep -q 'inprocserver32|@="C:\\\\Program Files\\\\RuDerizIRA\\\\RuDerizIRA.dll"' "$WORK/rows-regsvr32" ||
      fail "regsvr32 wrote no class: $(cat "$WORK/rows-regsvr32")"
    same "rows of the installer and regsvr32" <(cat "$WORK/rows-regsvr32"; printf '%s\n' "$host|" "$host"'|"LoadBehavior"=dword:00000001') \
      <(added before-msi after-msi | grep -Ev "$books")
    removed before-msi after-msi | grep -Ev "$books" | grep . && fail "the install removed rows"
    echo "ok: $(wc -l <"$WORK/rows-regsvr32") lines as regsvr32 writes them, and the host's entry"
  else
    # The x86 DLL cannot register itself here: a 64-bit program makes the calls its
    # DllRegisterServer makes (TableRows: the registration table into the 32-bit view, the type
    # library registered), in a second prefix.
    [ -f "$WORK/installed/prefix/drive_c/$installed_dir/RuDerizIRA.dll" ] || fail "no DLL under $installed_dir"
    use_prefix table fresh
    mkdir -p "$WINEPREFIX/drive_c/$installed_dir"
    cp "$WORK/installed/prefix/drive_c/$installed_dir/RuDerizIRA.dll" "$WINEPREFIX/drive_c/$installed_dir/"
    snapshot before-table
    bed run "$TABLE" "$installed_dll" || fail "the registration table"
    snapshot after-table
    rm -rf "${WORK:?}/table"
    added before-table after-table >"$WORK/rows-table"
    grep -q 'wow6432node\\\\clsid\\\\.*\\\\inprocserver32|@="C:\\\\Program Files (x86)\\\\RuDerizIRA\\\\RuDerizIRA.dll"' \
      "$WORK/rows-table" || fail "the table wrote no class in the 32-bit view: $(cat "$WORK/rows-table")"
    grep -Eq 'typelib\\\\\{a09057a8-755a-40aa-adcc-8141fd844168\}\\\\1\.0\\\\0\\\\win32\|@="C:\\\\Program Files \(x86\)\\\\RuDerizIRA\\\\RuDerizIRA\.dll"$' \
      "$WORK/rows-table" || fail "no 32-bit type library row: $(cat "$WORK/rows-table")"
    same "rows of the installer and the registration" \
      <(cat "$WORK/rows-table"; printf '%s\n' "$host|" "$host"'|"LoadBehavior"=dword:00000001') \
      <(added before-msi after-msi | grep -Ev "$books")
    removed before-msi after-msi | grep -Ev "$books" | grep . && fail "the install removed rows"
    echo "ok: $(wc -l <"$WORK/rows-table") lines as the x86 DLL's registration writes them, and the host's entry"
  fi

  use_prefix installed
  # Creating the class in-process needs a process of the DLL's own architecture.
  if [ "$ARCH" = x86 ]; then bed run "$PROBE" "$installed_dll"; fi
  arp=$(grep -F "uninstall\\\\$(product_code "$MSI" | tr A-Z a-z)|" "$WORK/after-msi")
  for field in '"DisplayName"="RUDerIzIra"' '"DisplayVersion"="1.0.0.14"' '"Publisher"="RuDerizIRA team"' \
               '"HelpLink"="https://' '"NoModify"=dword:00000001'; do
    grep -qF "$field" <<<"$arp" || fail "Add/Remove Programs: no $field in $arp"
  done
  icon=$(sed -n 's/.*"ProductIcon"="C:\\\\\(.*\)"/\1/p' "$WORK/after-msi" | sed 's/\\\\/\//g')
  cmp "$WINEPREFIX/drive_c/$icon" "$(dirname "$MSI")/wix/product.ico" || fail "no product icon"
  echo "ok: Add/Remove Programs: name, version, publisher, help link, icon"
  ;;

host)
  use_prefix installed
  docs=$WORK/host-docs
  rm -rf "$docs" && mkdir -p "$docs"
  cp "$SAMPLES/Drawing A-1001.json" "$docs/"
  # click-tree acts on the tree of the page that is visible.
  printf 'wait 100\nclick-tree Author\n' >"$docs/look.kvs"
  bed start >/dev/null
  trap 'bed stop' EXIT
  bed run "$SIM" --script "$(win "$docs/look.kvs")" "$(win "$docs/Drawing A-1001.json")" >"$docs/out" 2>&1 ||
    fail "korvane-sim: $(cat "$docs/out")"
  cat "$docs/out"
  doc=$(win "$docs/Drawing A-1001.json")
  for line in 'korvane-sim: loaded RuDerizIRA.MyAddin (HKLM)' "AddIn: AfterDocumentOpen $doc" \
              'AddIn: AddVaneBarPage ' 'AddIn: ChangeParentWindow ' "Addin: InitForm for $doc"; do
    grep -qF "$line" "$docs/out" || fail "no line \"$line\""
  done
  ;;

remove)
  prefix=installed
  bed stop >/dev/null 2>&1 || true
  rm -rf "${WORK:?}"/{installed,host-docs,before-*,after-*,rows-*}
  ;;

upgrade)
  use_prefix upgrade fresh
  snapshot pristine
  msiexec install /i "$(win "$MSI")"
  snapshot first
  msiexec upgrade /i "$(win "$NEXT_MSI")"
  snapshot next
  cmp "$WINEPREFIX/drive_c/$installed_dir/RuDerizIRA.dll" "$NEXT_DLL" || fail "the DLL was not replaced"
  products=$(grep -c '^system:software\\\\'"$wow_re"'microsoft\\\\windows\\\\currentversion\\\\uninstall\\\\{e161312d-[^\\]*|$' "$WORK/next")
  [ "$products" = 1 ] || fail "$products products after the upgrade"
  same "rows after the upgrade" <(rows first) <(rows next)
  echo "ok: one product, one set of rows"

  # Windows Installer shows the launch condition's message; Wine with /qn shows it nowhere.
  msiinfo export "$MSI" LaunchCondition | grep -F 'NOT WIX_DOWNGRADE_DETECTED	A newer version of [ProductName] is already installed.'
  rc=0
  msiexec downgrade /i "$(win "$MSI")" || rc=$?
  # 1603, ERROR_INSTALL_FAILURE, of which the shell sees the low byte.
  [ "$rc" = $((1603 & 255)) ] || fail "the older package gave exit code $rc"
  snapshot refused
  same "the refused downgrade changed the registry" <(rows next) <(rows refused)

  msiexec uninstall /x "$(product_code "$NEXT_MSI")"
  snapshot gone
  same "rows left or lost by the uninstall" <(rows pristine) <(rows gone)
  # Of the bookkeeping only empty folders stay: nothing names the product, plain or packed.
  grep -Ei 'ruderizira|e161312d|d213161e28916ca4aa32|59c46a4be177d5148976' "$WORK/gone" && fail "the product is still known"
  left=$(find "$WINEPREFIX/drive_c" -iname '*ruderizira*' -o -iname '*e161312d*')
  [ -z "$left" ] || fail "left behind: $left"
  echo "ok: downgrade refused; after the uninstall no row, no file, no folder"
  rm -rf "${WORK:?}"/{upgrade,pristine,first,next,refused,gone}
  ;;

signing)
  dir=$WORK/signing
  rm -rf "$dir" && mkdir -p "$dir"
  export RUD_SIGN_PASSWORD=throwaway RUD_SIGN_PFX=$dir/test.pfx
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=RuDerizIRA test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -passout "pass:$RUD_SIGN_PASSWORD" -out "$RUD_SIGN_PFX"
  verify() { osslsigncode verify -CAfile "$dir/cert.pem" -in "$1" >"$dir/verify.out" 2>&1; }
  package() { PACKAGE_SKIP_BUILD=1 PACKAGE_BUILD_DIR=$BUILD DIST_DIR=$dir/dist "$ROOT/scripts/package.sh" | tee "$dir/out"; }

  # The DLL in the package names, in its debug directory, the PDB beside the package: its file
  # name, and its GUID and age as the PDB's own information stream holds them.
  symbols_match() {
    local dll=$1 pdb=$dir/dist/RuDerizIRA.pdb rsds summary publics guid age name
    grep -qx "[0-9a-f]\{64\}  RuDerizIRA.pdb" "$dir/dist/SHA256SUMS" || fail "SHA256SUMS lists no PDB"
    rsds=$(i686-w64-mingw32-objdump -p "$dll" | sed -n 's/.*(format RSDS signature \([0-9a-f]*\) age \([0-9]*\) pdb \(.*\))$/\1 \2 \3/p')
    [ -n "$rsds" ] || fail "the packaged DLL has no CodeView record"
    read -r guid age name <<<"$rsds"
    [ "${name##*[/\\]}" = RuDerizIRA.pdb ] || fail "the DLL names the PDB $name"
    summary=$(llvm-pdbutil-14 dump -summary "$pdb") || fail "llvm-pdbutil cannot read the PDB"
    grep -qix "  GUID: {$(sed -E 's/(.{8})(.{4})(.{4})(.{4})(.{12})/\1-\2-\3-\4-\5/' <<<"$guid")}" <<<"$summary" ||
      fail "the DLL's GUID $guid is not the PDB's: $summary"
    grep -qx "  Age: $age" <<<"$summary" || fail "the DLL's age $age is not the PDB's: $summary"
    publics=$(llvm-pdbutil-14 dump -publics "$pdb") || fail "llvm-pdbutil cannot read the PDB's publics"
    grep -Eq '`_?DllGetClassObject(@[0-9]+)?`' <<<"$publics" || fail "no public DllGetClassObject in the PDB"
    echo "ok: the packaged DLL names RuDerizIRA.pdb {$guid} age $age, as the PDB in dist/"
  }

  package
  grep -q UNSIGNED "$dir/out" && fail "reported unsigned"
  (cd "$dir/dist" && sha256sum -c SHA256SUMS) || fail "SHA256SUMS"
  msi=$(ls "$dir"/dist/RuDerizIRA-*.msi)
  msiextract -C "$dir/files" "$msi" >/dev/null
  symbols_match "$dir/files/Program Files/RuDerizIRA/RuDerizIRA.dll"
  files=$(msiinfo export "$msi" File)
  grep -qi '\.pdb' <<<"$files" && fail "the package installs a PDB: $files"
  for f in "$dir/files/Program Files/RuDerizIRA/RuDerizIRA.dll" "$msi"; do
    verify "$f" || fail "$(basename "$f") does not verify: $(cat "$dir/verify.out")"
    grep -q 'Message digest algorithm *: SHA256' "$dir/verify.out" || fail "$(basename "$f") not SHA-256"
    # A byte in the middle: code of the DLL, the cabinet in the package.
    cp "$f" "$dir/changed"
    printf '\xA5' | dd of="$dir/changed" bs=1 seek=$(($(stat -c %s "$f") / 2)) conv=notrunc status=none
    verify "$dir/changed" && fail "$(basename "$f") with a changed byte verifies"
    echo "ok: $(basename "$f") verifies; with a changed byte it does not"
  done

  unset RUD_SIGN_PFX RUD_SIGN_PASSWORD
  package
  grep -qF "UNSIGNED: no certificate given" "$dir/out" || fail "no word of an unsigned package"
  verify "$(ls "$dir"/dist/RuDerizIRA-*.msi)" && fail "an unsigned package verifies"
  rm -rf "$dir"
  ;;
*) fail "unknown command $1" ;;
esac
