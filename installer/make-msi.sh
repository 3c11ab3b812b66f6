#!/usr/bin/env bash
# Builds RuDerizIRA-<version>.msi from a built RuDerizIRA.dll: MakeInstallerRows (run in the
# Wine test bed) reads the DLL's registry rows, version record and emblem, then wixl builds the
# package from installer/RuDerizIRA.wxs. Prints the package's path.
#   make-msi.sh WINEBED-DIR MAKEINSTALLERROWS.EXE DLL OUTPUT-DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bed=$1 tool=$2 dll=$(realpath "$3") out=$4
win() { echo "Z:${1//\//\\}"; }

# Publisher and support link shown in Add/Remove Programs; a release sets its own.
manufacturer=${RUD_MANUFACTURER:-RuDerizIRA team}
help_link=${RUD_HELP_LINK:-https://ruderizira.invalid/help}

mkdir -p "$out"
work=$(cd "$out" && pwd)/wix
rm -rf "$work"
mkdir -p "$work"
"$here/../scripts/winebed.sh" "$bed" run "$tool" "$(win "$dll")" "$(win "$work")" \
  '[#RuDerizIRA.dll]' '[ProgramFilesFolder]RuDerizIRA'
version=$(sed -n 's/.*define ProductVersion = "\([^"]*\)".*/\1/p' "$work/product.wxi")
[ -n "$version" ] || { echo "make-msi: no version in $work/product.wxi" >&2; exit 1; }
msi="$out/RuDerizIRA-$version.msi"
rm -f "$msi"
# wixl takes source files relative to the folder it runs in: everything goes into the work folder.
cp "$dll" "$here/RuDerizIRA.wxs" "$work/"
(cd "$work" && wixl --arch x86 -o "$msi" -D "Manufacturer=$manufacturer" -D "HelpLink=$help_link" \
   RuDerizIRA.wxs)
echo "$msi"
