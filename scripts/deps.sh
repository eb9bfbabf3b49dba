#!/usr/bin/env bash
# Installs what the build and the tests need, where it is missing (Debian).
set -euo pipefail
# help2man makes the manual page; dpkg-dev (dpkg-shlibdeps) and file are what
# cpack -G DEB uses.
need=(g++ cmake make libgtest-dev binutils help2man dpkg-dev file)
# The Python package's tests and benchmark, for Debian's /usr/bin/python3.
need+=(python3 python3-numpy python3-pandas python3-pytest python3-ciso8601 python3-hypothesis)
# zelbrant._texts, the package's one extension module: Python's headers.
need+=(python3-dev)
# Parallel reads on a Dask cluster, and the package built and installed with
# pip, offline: a wheel, a virtual environment.
need+=(python3-dask python3-distributed python3-setuptools python3-wheel python3-build)
need+=(python3-pip python3-venv)
[ "${ZB_WANT_CLANG:-0}" = 1 ] && need+=(clang libclang-rt-14-dev)
missing=()
for p in "${need[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
