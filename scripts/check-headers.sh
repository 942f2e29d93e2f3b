#!/usr/bin/env bash
# Checks that every header of src/ compiles on its own: for each one, a file
# holding nothing but `#include "layer/file.h"` (twice, so that a missing
# `#pragma once` shows too) is compiled with only the include roots its layer
# may use, as the build gives them (<build>/layers/<layer>/, see
# src/CMakeLists.txt), once as the program builds and, when it includes a
# header that reads RXC_DEBUG_CHECKS, once more with the debug checks of the
# sanitizer build.
#
#   scripts/check-headers.sh BUILD_DIR
#
# BUILD_DIR is a configured build folder (cmake -S . -B BUILD_DIR). Headers
# named *-inl.h are parts of another header; each includes that header, so
# it too compiles alone. Prints each header that fails with the compiler's messages, and
# exits with status 1 if any does. CXX chooses the compiler (default c++);
# JOBS the number of compilations at once (default: the processors).
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
layers_file="$root/src/CMakeLists.txt"
if [ ! -d "$build/layers" ]; then
  echo "$build/layers is missing: configure the build first (cmake -S . -B $1)" >&2
  exit 2
fi

# The layers each layer uses directly, read from its rxc_layer(...) line; a
# layer in a sub-folder (engine/kernel) is named with an underscore
# (engine_kernel), as its include root under <build>/layers/ is. The engine
# as a whole (rxc_engine) is the rooms it links.
declare -A uses folder
while read -r name deps; do
  key=${name//\//_}
  uses[$key]=$deps
  folder[$key]=$name
done < <(sed -n 's/^rxc_layer(\([a-z_/]*\)\(.*\))$/\1 \2/p' "$layers_file" |
  sed 's/USES//; s/Threads::Threads//g; s/rxc_//g')
uses[engine]=$(sed -n 's/^target_link_libraries(rxc_engine INTERFACE \(.*\))$/\1/p' \
  "$layers_file" | sed 's/rxc_//g')

# A layer and every layer below it, each once.
reach() {
  local layer=$1 dep
  echo "$layer"
  for dep in ${uses[$layer]}; do reach "$dep"; done
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

compile() {  # compile LAYER HEADER: the header's messages on stdout when it fails
  local layer=$1 header=$2 flags=() dep source deps ours found
  for dep in $(reach "$layer" | sort -u); do
    [ -d "$build/layers/$dep" ] && flags+=(-I "$build/layers/$dep")
  done
  source="$work/$(echo "$header" | tr '/' '_').cpp"
  deps="${source%.cpp}.d"
  printf '#include "%s"\n#include "%s"\n' "$header" "$header" >"$source"
  for defines in "" "-DRXC_DEBUG_CHECKS"; do
    # shellcheck disable=SC2086
    if ! out=$("${CXX:-c++}" -std=c++20 -fsyntax-only -Wall -Wextra -Wshadow -Werror \
      -MD -MF "$deps" $defines "${flags[@]}" "$source" 2>&1); then
      printf '%s %s\n%s\n' "$header" "$defines" "$out"
      return 1
    fi
    # The debug checks change only what reads RXC_DEBUG_CHECKS: a header
    # that includes none of it, itself or through another, compiles alike
    # with them, and is not compiled again. Without a readable list of its
    # headers (grep's status 2), it is.
    mapfile -t ours < <(tr -s ' \\' '\n' <"$deps" 2>/dev/null | grep "^$build/layers/")
    if [ "${#ours[@]}" -eq 0 ]; then continue; fi
    found=0
    grep -q RXC_DEBUG_CHECKS "${ours[@]}" || found=$?
    if [ "$found" -eq 1 ]; then break; fi
  done
  return 0
}
uses_dump=$(declare -p uses)
export -f compile reach
export build work uses_dump

failed=0
for layer in "${!folder[@]}"; do
  for file in "$root/src/${folder[$layer]}"/*.h; do
    [ -e "$file" ] || continue
    echo "$layer ${folder[$layer]}/$(basename "$file")"
  done
done | sort >"$work/list"

# shellcheck disable=SC2016
xargs -P "${JOBS:-$(nproc)}" -L 1 bash -c 'eval "$uses_dump"; compile "$0" "$1"' \
  <"$work/list" >"$work/failures" || failed=1

if [ "$failed" -ne 0 ]; then
  cat "$work/failures"
  echo "check-headers: some headers do not compile on their own" >&2
  exit 1
fi
echo "check-headers: $(wc -l <"$work/list") headers compile on their own"
