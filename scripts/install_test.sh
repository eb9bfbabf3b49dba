#!/usr/bin/env bash
# Checks a build tree (default build/) the way a user or packager takes it:
# installs it into a scratch prefix and runs the installed isoread from
# another directory without -m; builds and runs the consumer example against
# the installed CMake package; makes the Debian package, checks its contents
# and runs the isoread of an extracted copy.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
src=$PWD
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }
# A datetime field and what isoread prints for it.
field=20110909T123045
want=2011-09-09T12:30:45

# A program run from a directory that holds nothing of the build.
check_isoread() {
  local exe=$1 out
  out=$(cd "$scratch" && env -u ZB_MODULE_DIR "$exe" -f B8601DT15. <<<"$field" 2>/dev/null)
  [ "$out" = "$want" ] || fail "$exe printed '$out', not '$want'"
  out=$(cd "$scratch" && env -u ZB_MODULE_DIR "$exe" --version)
  grep -q "^zelbrant: release" <<<"$out" && grep -q "^morvista: release" <<<"$out" ||
    fail "$exe --version does not name both modules: $out"
  grep -q "$build" <<<"$out" && fail "$exe loads the build tree's modules: $out"
  return 0
}

echo "== install"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/isoread lib/zelbrant/zelbrant.so lib/zelbrant/morvista.so \
         include/zelbrant/gcb.h include/zelbrant/ifmblock.h include/zelbrant/records.h \
         include/zelbrant/host.h lib/cmake/zelbrant/zelbrantConfig.cmake \
         share/man/man1/isoread.1 share/doc/zelbrant/README.md; do
  [ -e "$prefix/$f" ] || fail "the installed tree has no $f"
done
check_isoread "$prefix/bin/isoread"
# The Python package lies where the target Python searches that prefix, and
# imports from there with nothing but the path.
py=/usr/bin/python3
pkg=$(cd "$prefix" && ls -d lib/python3*/*-packages/zelbrant 2>/dev/null | head -1)
[ -n "$pkg" ] || fail "the installed tree has no Python package"
"$py" - "$prefix" "$prefix/$(dirname "$pkg")" <<'PY' || fail "Python does not search $pkg"
import site, sys
prefix, where = sys.argv[1], sys.argv[2]
sys.exit(0 if where in site.getsitepackages([prefix]) else 1)
PY
out=$(cd "$scratch" && env -u ZELBRANT_BUILD PYTHONPATH="$prefix/$(dirname "$pkg")" "$py" -c \
  "import zelbrant; print(zelbrant.to_datetime('$field', 'B8601DT').isoformat())")
[ "$out" = "$want" ] || fail "the installed Python package read '$out', not '$want'"
# zelbrant._texts goes with the package wherever the build made it.
if ls "$build"/_texts*.so >/dev/null 2>&1; then
  (cd "$scratch" && env -u ZELBRANT_BUILD PYTHONPATH="$prefix/$(dirname "$pkg")" "$py" -c \
    "import zelbrant; assert zelbrant._capi.texts is not None") ||
    fail "the installed Python package has no zelbrant._texts"
fi
# The tree works wherever it is moved.
mv "$prefix" "$scratch/moved"
check_isoread "$scratch/moved/bin/isoread"
mv "$scratch/moved" "$prefix"

echo "== consumer example"
cmake -S "$src/examples/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/consumer" -j"${ZB_JOBS:-2}" >/dev/null
out=$("$scratch/consumer/read_field" "$field")
[ "$out" = "$field: 1631190645" ] || fail "consumer printed '$out'"
"$scratch/consumer/read_field" 20110909X123045 >/dev/null && fail "consumer accepted a bad field"

echo "== package"
(cd "$build" && cpack -G DEB -B "$scratch/pkg" >/dev/null)
deb=$(ls "$scratch"/pkg/*.deb)
dpkg-deb --info "$deb" | sed -n '/Package:/p;/Version:/p;/Depends:/p'
list=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for f in ./usr/bin/isoread ./usr/lib/zelbrant/zelbrant.so ./usr/lib/zelbrant/morvista.so \
         ./usr/include/zelbrant/records.h ./usr/share/man/man1/isoread.1; do
  grep -qx "$f" <<<"$list" || fail "the package lacks $f"
done
dpkg-deb --extract "$deb" "$scratch/root"
check_isoread "$scratch/root/usr/bin/isoread"
echo "install_test: ok ($(basename "$deb"))"
