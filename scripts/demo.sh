#!/usr/bin/env bash
# The add-in in the host simulator on a copy of the sample documents and on a compound document
# made for the run: registers the DLL, opens each document, edits one property of each through
# the pane (click, type, Modify), closes and reopens them, prints the add-in's trace lines and
# writes a screenshot of the host with the compound document's page (its property sets).
# Called by scripts/run.sh with the build folder; the Wine test bed must be started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
bed() { "$root/scripts/winebed.sh" "$build/winebed" "$@"; }
win() { echo "Z:${1//\//\\}"; }

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp -r "$root/samples/." "$demo/"
doc="$demo/Project Files/Quarterly Report Q3.json"
value="Jordan Blake"
# A compound file (structured storage) with the usual property sets, as a word processor writes.
compound="$demo/Site Survey.doc"
client="Fjord Freight ASA"

bed run regsvr32 /s "$(win "$build/bin/RuDerizIRA.dll")"
bed run "$build/host/korvane-sim.exe" make-sample "$(win "$compound")"
cat >"$demo/edit.kvs" <<KVS
open "$(win "$doc")"
wait 100
click-tree Author
set-text 2 "$value"
click-button &Modify
close 1
open "$(win "$compound")"
wait 100
click-tree Client
set-text 2 "$client"
click-button &Modify
close 1
open "$(win "$doc")"
open "$(win "$compound")"
click-tree Client
wait 100
screenshot "$(win "$demo/korvane-sim.png")"
KVS

echo "== korvane-sim with RuDerizIRA.MyAddin: edit Author in $(basename "$doc"), Client in $(basename "$compound")"
bed run "$build/host/korvane-sim.exe" --progid RuDerizIRA.MyAddin --script "$(win "$demo/edit.kvs")"

echo "== the documents after reopening:"
grep -F "\"Author\"" "$doc"
grep -qF "\"value\": \"$value\"" "$doc"
bed run "$build/host/korvane-sim.exe" dump "$(win "$compound")" >"$demo/dump.json"
tr -d '\r' <"$demo/dump.json" | grep -A2 -F '"name": "Client"' | tr -s ' \n' ' '
echo
grep -qF "\"value\": \"$client\"" "$demo/dump.json"
echo "== screenshot: $demo/korvane-sim.png"
