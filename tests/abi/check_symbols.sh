#!/bin/sh
# Compares the library's exported symbols with the committed lists, like a
# Debian symbols file: a new or lost export fails the build.
set -eu
lib=$1
dir=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# libstdc++ declares namespace std with default visibility, so its template
# instances used by our exported signatures show up (more of them when not
# inlined); they are not our API. They are told apart by their mangled names:
# std:: entities, their typeinfo/vtables/guards, and operator new/delete.
nm -D --defined-only "$lib" | awk '{print $3}' \
  | grep -vE '^_Z(T[ISVT]|GV|Th|Tv)?Z?N?K?(S[tabsiod]|9__gnu_cxx)' \
  | grep -vE '^_Z(nw|na|dl|da)' \
  | grep -vE '^(_init|_fini|_edata|_end|__bss_start)$' \
  | c++filt \
  | LC_ALL=C sort -u > "$tmp/actual"
cat "$dir"/*.symbols 2>/dev/null | grep -v '^#' | grep -v '^$' | LC_ALL=C sort -u > "$tmp/expected"
if ! diff -u "$tmp/expected" "$tmp/actual"; then
  echo "exported symbols differ from $dir/*.symbols (- expected, + actual)" >&2
  exit 1
fi
