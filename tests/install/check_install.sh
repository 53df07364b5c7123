#!/bin/sh
# Installs into a staging DESTDIR, then builds and runs a C and a C++ caller
# twice with what was installed only: with the pkg-config file, and as a CMake
# project that finds the package. The installed library exports exactly the
# committed list. The stand-in tools come only with their own component, off
# PATH, and run from where they were installed.
set -eu
build=$1
here=$2
prefix=$3
abi=$4
extra=${5:-}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" >/dev/null
root=$stage$prefix
pc=$(dirname "$(find "$root" -name vorxlabelmgr.pc | head -n 1)")
lib=$(find "$root" -name 'libvorxlabelmgr.so' | head -n 1)
libdir=$(dirname "$lib")

"$here/../abi/check_symbols.sh" "$lib" "$abi"

tools=vorxlabelmgr-test
laid_tools() {
  find "$root" -name "$tools" -o -name 'labelmgr-standin*' -o -name 'vorx-label-publisher*' \
    -o -name 'vorx-label-listen*'
}
if laid_tools | grep -q .; then
  echo "a plain install laid down a tool:" >&2
  laid_tools >&2
  exit 1
fi
DESTDIR="$stage" cmake --install "$build" --component vorxlabelmgr-test-tools >/dev/null
tooldir=$(dirname "$(find "$root" -path "*/$tools/labelmgr-standin" | head -n 1)")
case $tooldir in
  "$root"/*/"$tools") ;;
  *) echo "the tools were not installed into a directory $tools under $root" >&2; exit 1 ;;
esac
for t in labelmgr-standin vorx-label-publisher vorx-label-listen; do
  "$tooldir/$t" --help > "$stage/$t.help" || { echo "installed $t --help failed" >&2; exit 1; }
done

# Keep -I/usr/include and -L/usr/lib: under the staging root they are ours.
flags=$(PKG_CONFIG_SYSROOT_DIR="$stage" PKG_CONFIG_PATH="$pc" PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 \
        PKG_CONFIG_ALLOW_SYSTEM_LIBS=1 pkg-config --cflags --libs vorxlabelmgr)
cc -std=c11 -Wall $extra "$here/caller.c" $flags -o "$stage/c-caller"
c++ -std=c++17 -Wall $extra "$here/caller.cpp" $flags -o "$stage/cxx-caller"
LD_LIBRARY_PATH="$libdir" "$stage/c-caller"
LD_LIBRARY_PATH="$libdir" "$stage/cxx-caller"

# Only the staged prefix may provide the package.
consumer() {
  cmake -S "$here/consumer" -B "$stage/consumer-$1" -DVORX_WANT="$1" -DCMAKE_PREFIX_PATH="$root" \
        -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF \
        -DCMAKE_C_FLAGS="-Wall $extra" -DCMAKE_CXX_FLAGS="-Wall $extra"
}
consumer 1 > "$stage/consumer-1.log" 2>&1 || { cat "$stage/consumer-1.log" >&2; exit 1; }
found=$(sed -n 's/^vorxlabelmgr_DIR:PATH=//p' "$stage/consumer-1/CMakeCache.txt")
case $found in
  "$root"/*) ;;
  *) echo "the package was found at $found, not under $root" >&2; exit 1 ;;
esac
cmake --build "$stage/consumer-1" >/dev/null
"$stage/consumer-1/c-caller"
"$stage/consumer-1/cxx-caller"

# Another major version is not compatible.
if consumer 2 > "$stage/consumer-2.log" 2>&1; then
  echo "find_package(vorxlabelmgr 2) accepted version 1" >&2
  exit 1
fi
grep -q "compatible with requested version" "$stage/consumer-2.log" || { cat "$stage/consumer-2.log" >&2; exit 1; }
echo "installed library found by pkg-config and find_package; both sets of callers ran"
