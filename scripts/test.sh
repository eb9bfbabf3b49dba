#!/usr/bin/env bash
# Builds everything and runs every test. ZB_SANITIZE=address,undefined (or
# thread) builds and tests a sanitized tree in build-<sanitizers>/.
# ZB_BUILD_TYPE (Debug, Release, RelWithDebInfo, MinSizeRel; default
# RelWithDebInfo) and CC/CXX choose the build type and the compiler of a new
# tree; ZB_BUILD_DIR names the tree; ZB_WERROR=ON makes warnings errors.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ "${CXX:-}" == *clang* ]] && export ZB_WANT_CLANG=1
bash scripts/deps.sh
san="${ZB_SANITIZE:-}"
dir=build
[ -n "$san" ] && dir="build-${san//,/-}"
dir="${ZB_BUILD_DIR:-$dir}"
type=()
[ -n "${ZB_BUILD_TYPE:-}" ] && type=(-DCMAKE_BUILD_TYPE="$ZB_BUILD_TYPE")
cmake -S . -B "$dir" -DZB_SANITIZE="$san" -DZB_TESTS=ON -DZB_WERROR="${ZB_WERROR:-OFF}" \
  "${type[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
