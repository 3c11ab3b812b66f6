#!/usr/bin/env bash
# The add-in in the host simulator on a copy of the sample documents: registers the DLL, opens a
# document, edits one property through the pane (click, type, Modify), closes and reopens the
# document, prints the add-in's trace lines and writes a screenshot of the host with the pane.
# Called by scripts/run.sh with the build folder; the Wine test bed must be started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
bed="$root/scripts/winebed.sh $build/winebed"
win() { echo "Z:${1//\//\\}"; }

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp -r "$root/samples/." "$demo/"
doc="$demo/Project Files/Quarterly Report Q3.json"
value="Jordan Blake"

$bed run regsvr32 /s "$(win "$build/bin/RuDerizIRA.dll")"
cat >"$demo/edit.kvs" <<KVS
open "$(win "$doc")"
wait 100
click-tree Author
set-text 2 "$value"
click-button &Modify
close 1
open "$(win "$doc")"
click-tree Author
wait 100
screenshot "$(win "$demo/korvane-sim.png")"
KVS

echo "== korvane-sim with RuDerizIRA.MyAddin: edit Author in $(basename "$doc")"
$bed run "$build/host/korvane-sim.exe" --progid RuDerizIRA.MyAddin --script "$(win "$demo/edit.kvs")"

echo "== the document after reopening:"
grep -F "\"Author\"" "$doc"
grep -qF "\"value\": \"$value\"" "$doc"
echo "== screenshot: $demo/korvane-sim.png"
