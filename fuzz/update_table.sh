#!/usr/bin/env bash
# Regenerates the bad-input record in docs/robustness.md from zb_badinput.
# usage: fuzz/update_table.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
cmake --build "$dir" --target zb_badinput >/dev/null
"$dir/fuzz/zb_badinput" >"$dir/badinput.md"
python3 - "$dir/badinput.md" <<'PY'
import sys
doc = "docs/robustness.md"
text = open(doc).read()
begin, end = "<!-- table begin -->\n", "<!-- table end -->\n"
table = open(sys.argv[1]).read()
head, rest = text.split(begin, 1)
_, tail = rest.split(end, 1)
open(doc, "w").write(head + begin + table + end + tail)
PY
