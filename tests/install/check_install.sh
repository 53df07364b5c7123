#!/bin/sh
# Installs into a staging DESTDIR, then builds and runs a C and a C++ caller
# with the installed headers, library and pkg-config file only.
set -eu
build=$1
here=$2
extra=${3:-}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" >/dev/null
pc=$(dirname "$(find "$stage" -name vorxlabelmgr.pc | head -n 1)")
# Keep -I/usr/include and -L/usr/lib: under the staging root they are ours.
flags=$(PKG_CONFIG_SYSROOT_DIR="$stage" PKG_CONFIG_PATH="$pc" PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 \
        PKG_CONFIG_ALLOW_SYSTEM_LIBS=1 pkg-config --cflags --libs vorxlabelmgr)
libdir=$(dirname "$(find "$stage" -name 'libvorxlabelmgr.so' | head -n 1)")
cc -std=c11 -Wall -Werror $extra "$here/caller.c" $flags -o "$stage/c-caller"
c++ -std=c++17 -Wall -Werror $extra "$here/caller.cpp" $flags -o "$stage/cxx-caller"
LD_LIBRARY_PATH="$libdir" "$stage/c-caller"
LD_LIBRARY_PATH="$libdir" "$stage/cxx-caller"
