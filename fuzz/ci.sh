#!/usr/bin/env bash
# CI: builds the fuzz targets of fuzz/targets.txt and runs each for a short
# fixed budget (ZB_FUZZ_SECONDS each, 15 by default: two minutes for the
# eight), so that an input that crashes or breaks a property is caught on
# every submission.
set -euo pipefail
cd "$(dirname "$0")/.."
bash fuzz/setup.sh
secs=${ZB_FUZZ_SECONDS:-15}
status=0
for t in $(grep '^[a-z]' fuzz/targets.txt); do
  bash fuzz/run "$t" "$secs" || status=1
done
exit $status
