#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz/: clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, with the modules instrumented for coverage
# too. Installs clang and its runtime (Debian) when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
ZB_WANT_CLANG=1 bash scripts/deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DZB_FUZZ=ON -DZB_SANITIZE=address,undefined \
  -DZB_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
mapfile -t targets < <(grep '^[a-z]' fuzz/targets.txt)
cmake --build build-fuzz -j"${ZB_JOBS:-2}" --target "${targets[@]/#/fuzz_}"
