#!/usr/bin/env bash
# Installs a build tree into a scratch prefix and uses it as others would:
#   InstallTest.sh CMAKE BUILD-DIR LIBDIR
# (a) a C host compiled with pkg-config's flags runs test mode on the
#     installed vtarget; (b) a CMake project finds the package with
#     find_package(Ulvex) and runs; (c) the installed vorn starts without
#     LD_LIBRARY_PATH, through its relative run path; (e) the Python
#     package, where python3 looks under this prefix, takes the
#     installed library and program.
set -euo pipefail
cmake=$1 build=$2 libdir=$3
here=$(cd "$(dirname "$0")" && pwd)
tests=$(dirname "$here")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "install test: FAILED: $*" >&2; exit 1; }

prefix=$scratch/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
lib=$prefix/$libdir

# The library with both SONAME links, and no static helper libraries.
[ "$(readlink "$lib/libulvex.so")" = libulvex.so.2 ] || fail "libulvex.so link"
[ "$(readlink "$lib/libulvex.so.2")" = libulvex.so.2.65 ] || fail "libulvex.so.2 link"
static=$(find "$prefix" -name '*.a')
[ -z "$static" ] || fail "static libraries installed: $static"

echo "--- (a) pkg-config and test mode on the installed vtarget"
export PKG_CONFIG_PATH=$lib/pkgconfig
[ "$(pkg-config --modversion ulvex)" = 2.65 ] || fail "pkg-config version"
# shellcheck disable=SC2046 # the flags are meant to split into words
cc -std=c11 -Wall -Wextra -Werror -pedantic $(pkg-config --cflags ulvex) \
    "$tests/e2e/CTestMode.c" -o "$scratch/c_test_mode" $(pkg-config --libs ulvex)
out=$(LD_LIBRARY_PATH=$lib "$tests/e2e/RunWithBoard.sh" "$prefix/bin/vtarget" 5 0 \
    "$scratch/c_test_mode" 5 0) || fail "c_test_mode: $out"
echo "$out"
grep -q '^c_test_mode: ok$' <<<"$out" || fail "c_test_mode did not report ok"

echo "--- (b) find_package(Ulvex)"
"$cmake" -S "$here/consumer" -B "$scratch/consumer" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
grep -qx "Ulvex_DIR:PATH=$lib/cmake/Ulvex" "$scratch/consumer/CMakeCache.txt" ||
    fail "the package was not found in the installed tree"
"$cmake" --build "$scratch/consumer" >/dev/null
"$scratch/consumer/ulvex_version" || fail "the find_package host"

echo "--- (c) the installed vorn without LD_LIBRARY_PATH"
rc=0
out=$(env -u LD_LIBRARY_PATH "$prefix/bin/vorn" --version 2>&1) || rc=$?
echo "$out"
[ "$rc" -eq 0 ] || fail "vorn --version exited with $rc"
grep -qF "Ulvex.DLL Version : 2.65" <<<"$out" || fail "vorn --version shows no library version"

echo "--- (d) the installed ulvex, its man page, completion and schemas"
env -u LD_LIBRARY_PATH "$prefix/bin/ulvex" --version || fail "the installed ulvex does not start"
for f in share/man/man1/ulvex.1 share/bash-completion/completions/ulvex \
    share/ulvex/ulvex-events.schema.json share/ulvex/ulvex-jobs.schema.json; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done

echo "--- (e) the Python package, moved with the tree"
pythondir=lib/python$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')/dist-packages
mv "$prefix" "$scratch/moved"
out=$(env -u ULVEX_LIBRARY PYTHONPATH="$scratch/moved/$pythondir" /usr/bin/python3 -c '
import ulvex
print(ulvex.library_path(), ulvex.find_target("kolt-a-int").number, len(ulvex.ports()) >= 0)
print(ulvex.targets.__module__, ulvex.TestMode.__module__)') || fail "import ulvex: $out"
echo "$out"
grep -qx "$scratch/moved/$libdir/libulvex.so.2 0 True" <<<"$out" || fail "the package's library"
[ -f "$scratch/moved/$pythondir/ulvex/py.typed" ] || fail "py.typed is not installed"

echo "install test: ok"
