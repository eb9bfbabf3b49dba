#!/usr/bin/env bash
# Builds everything and runs every test. ZB_SANITIZE=address,undefined (or
# thread) builds and tests a sanitized tree in build-<sanitizers>/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
san="${ZB_SANITIZE:-}"
dir=build
[ -n "$san" ] && dir="build-${san//,/-}"
cmake -S . -B "$dir" -DZB_SANITIZE="$san" -DZB_TESTS=ON >/dev/null
cmake --build "$dir" -j"$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
