#!/bin/sh
# Compares the library's exported symbols with the committed list, like a
# Debian symbols file: a new or lost export fails, and so does an export that
# is not under the library's one version node. The list holds one demangled
# symbol a line (a constructor or destructor twice, one line per entry point,
# a C name bare), sorted in the C locale. Configure writes the version script
# from the same list.
set -eu
lib=$1
list=$2
node=VORXLABELMGR_1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
nm -D --defined-only "$lib" > "$tmp/nm"
# GNU ld adds the version node itself as an absolute symbol: not an export.
awk -v node="$node" '!($2 == "A" && $3 == node)' "$tmp/nm" > "$tmp/exports"
status=0
if awk -v node="$node" '{ n = length($3) - length(node) - 2
                          if (n < 1 || substr($3, n + 1) != "@@" node) { print; bad = 1 } }
                        END { exit bad }' "$tmp/exports" > "$tmp/unversioned"; then :; else
  echo "exported symbols not under $node:" >&2
  cat "$tmp/unversioned" >&2
  status=1
fi
awk '{ sub(/@.*/, "", $3); print $3 }' "$tmp/exports" | c++filt | LC_ALL=C sort > "$tmp/actual"
if ! diff -u "$list" "$tmp/actual"; then
  echo "exported symbols differ from $list (- expected, + actual)" >&2
  status=1
fi
exit $status
