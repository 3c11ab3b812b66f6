#!/usr/bin/env bash
# The include graph of src/, folder by folder: prints "folder -> folder it includes" for every
# include of a header that lives in another folder of src/, and fails when a folder includes one
# that is not below it in the layer order, or when a folder has no place in it.
set -euo pipefail
cd "$(dirname "$0")/../src"
layers=(support module pane hub addin com)  # bottom first

rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

status=0
for dir in */; do
  dir=${dir%/}
  if [ "$(rank "$dir")" -lt 0 ]; then echo "src/$dir has no place in the layer order"; status=1; fi
done
edges=()
for dir in "${layers[@]}"; do
  for header in $(grep -rhoE '^#include "[^"]+"' "$dir" | cut -d'"' -f2 | sort -u); do
    owner=$(find . -name "$(basename "$header")" -path "*/$header" -printf '%P\n' | cut -d/ -f1 | sort -u | head -1)
    [ -n "$owner" ] && [ "$owner" != "$dir" ] || continue
    edge="$dir -> $owner"
    if [ "$(rank "$owner")" -ge "$(rank "$dir")" ]; then edge="$edge   UPWARD ($header)"; status=1; fi
    edges+=("$edge")
  done
done
printf '%s\n' "${edges[@]}" | sort -u
exit $status
