#!/usr/bin/env bash
# Builds the Python wheel offline from a copy of the source tree and installs
# it into a fresh virtual environment (with the system's numpy and pandas);
# installs the source tree with pip into another; reads a field in each,
# from a directory that holds nothing of the source or the build.
# Exit 77 when the build or venv modules are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
py=${ZB_PYTHON:-/usr/bin/python3}
"$py" -c "import build, venv, setuptools, wheel" 2>/dev/null || {
  echo "wheel_test: python3-build, -venv, -setuptools or -wheel missing" >&2; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "wheel_test: $*" >&2; exit 1; }
mkdir "$scratch/src"
tar -cf - --exclude='./build*' --exclude=./.git --exclude='__pycache__' . |
  tar -xf - -C "$scratch/src"
ZB_JOBS=${ZB_JOBS:-2} "$py" -m build --wheel --no-isolation --outdir "$scratch/dist" \
  "$scratch/src" >"$scratch/build.log" 2>&1 || { tail -30 "$scratch/build.log"; fail "no wheel"; }
wheel=$(ls "$scratch"/dist/zelbrant-*.whl)

# Reads a field with the package installed in a virtual environment, from a
# directory that holds nothing of the source or its build.
check_venv() {
  local venv=$1 out
  out=$(cd "$scratch" && env -u ZELBRANT_BUILD -u PYTHONPATH "$venv/bin/python" -c '
import zelbrant
assert zelbrant.library_path.startswith(__import__("sys").prefix), zelbrant.library_path
assert zelbrant._capi.texts is not None, "zelbrant._texts is not in the package"
print(zelbrant.to_datetime("20110909T123045", "B8601DT").isoformat(),
      zelbrant.Reader("ND8601DA", module="morvista").read_ticks(["20110909"], unit="s")[0])')
  [ "$out" = "2011-09-09T12:30:45 1315526400" ] || fail "the package in $venv read '$out'"
}

# pip on the source tree, as a user installs it (the CMake build is the
# wheel's, taken up again).
"$py" -m venv --system-site-packages "$scratch/src-venv"
"$scratch/src-venv/bin/python" -m pip install --no-build-isolation --no-index --no-deps -q \
  "$scratch/src" >"$scratch/pip.log" 2>&1 || { tail -30 "$scratch/pip.log"; fail "pip install . failed"; }

"$py" -m venv --system-site-packages "$scratch/venv"
"$scratch/venv/bin/python" -m pip install --no-index --no-deps -q "$wheel" ||
  fail "the wheel does not install"
rm -rf "$scratch/src"  # nothing of the source or its build is left to lean on
check_venv "$scratch/src-venv"
check_venv "$scratch/venv"
echo "wheel_test: ok ($(basename "$wheel"), and pip install of the source)"
