#!/usr/bin/env bash
# The include graph of src/, folder by folder: prints "folder -> folder it includes" for every
# include of a header that lives in another folder of src/, and fails when a folder includes one
# that is not below it in the layer order, or when a folder has no place in it.
# Then the host's interface declarations: prints "folder -> header" for every folder that includes
# a header generated from idl/ (or links the library that carries it), and fails when one of the
# folders that must know nothing of the host does.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root/src"
layers=(support module pane hub addin com)  # bottom first
hostless=(support module pane)              # reach the host's objects only through the layers above

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

# What widl makes of each idl/ file (cmake/Idl.cmake): <name>.h and <name>_i.c, in a library that
# the root CMakeLists.txt names in rud_add_idl.
generated=()
for idl in "$root"/idl/*.idl; do
  name=$(basename "$idl" .idl)
  generated+=("$name.h" "${name}_i.c")
done
idl_targets=$(grep -oE '^rud_add_idl\([A-Za-z0-9_]+' "$root/CMakeLists.txt" | cut -d'(' -f2 | sort -u)
echo "host interface declarations (generated from idl/): ${generated[*]}"
for dir in "${layers[@]}"; do
  forbidden=0
  for h in "${hostless[@]}"; do [ "$h" = "$dir" ] && forbidden=1; done
  uses=()
  for header in "${generated[@]}"; do
    if grep -rqE "^#include [\"<](.*/)?${header//./\\.}[\">]" "$dir"; then uses+=("$header"); fi
  done
  for target in $idl_targets; do
    if sed 's/#.*//' "$dir/CMakeLists.txt" | grep -qw "$target"; then uses+=("library $target"); fi
  done
  for use in "${uses[@]+"${uses[@]}"}"; do
    if [ $forbidden = 1 ]; then echo "$dir -> $use   HOST IN A HOSTLESS LAYER"; status=1; else echo "$dir -> $use"; fi
  done
  if [ ${#uses[@]} = 0 ]; then echo "$dir -> (none)"; fi
done
exit $status
