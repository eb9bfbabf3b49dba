#!/usr/bin/env bash
# tools/entity_diff/run.sh [REV] [CALLS] [SEED]
# Builds the modules of git revision REV (default: where this branch left
# main) in build-ref/REV/ and
# those of the working tree in build/, and runs zb_entity_diff on both: every
# entity reader call, scanner and interval call and convert_to_bcd call made
# on both builds, with their results, host calls and log lines compared.
# Exit status 0 when nothing differs, 3 when every difference is a text
# whose fraction has more than three digits or of a mended fault, 1 when
# anything else differs.
set -euo pipefail
cd "$(dirname "$0")/../.."
rev=${1:-$(git merge-base main HEAD)} calls=${2:-1000000} seed=${3:-8601}
ref=build-ref/$(echo "$rev" | tr '/~^' '___')
if [ ! -f "$ref/src/CMakeLists.txt" ] || [ "$(cat "$ref/rev" 2>/dev/null)" != "$(git rev-parse "$rev")" ]; then
  rm -rf "$ref"
  mkdir -p "$ref/src"
  git archive "$rev" | tar -x -C "$ref/src"
  git rev-parse "$rev" >"$ref/rev"
fi
cmake -S "$ref/src" -B "$ref/b" -DZB_TESTS=OFF >/dev/null
cmake --build "$ref/b" -j"$(nproc)" --target zelbrant morvista >/dev/null
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target zb_entity_diff zelbrant morvista >/dev/null
build/tools/entity_diff/zb_entity_diff "$ref/b" build "$calls" "$seed"
