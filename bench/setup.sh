#!/bin/sh
# Installs what the benchmark needs beside the build tools: Google Benchmark,
# the peer libraries it compares against (Abseil, Howard Hinnant's date) and
# perf for profiles, isodate for bench/python.py. Run as root; packages already present are left alone.
set -eu
want=""
for p in libbenchmark-dev libabsl-dev libhowardhinnant-date-dev linux-perf time python3-isodate; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || want="$want $p"
done
if [ -n "$want" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "bench/setup.sh: need root to install:$want" >&2
    exit 1
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q $want
fi
echo "bench/setup.sh: all set"
