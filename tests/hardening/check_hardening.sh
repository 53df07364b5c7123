#!/bin/sh
# The library as a hardened build lays it down: immediate binding under full
# RELRO, a stack that is not executable, stack-protector and fortified calls
# (when the build fortifies), and the CET property notes (when asked for).
# The linker keeps that note only when every input has it, and a C runtime
# built without it (Debian 12's crti.o) drops it from the library; so the
# library's own objects are checked, and the library where the runtime allows.
# Usage: check_hardening.sh LIB FORTIFY(0|1) CET(0|1) OBJECT...
set -eu
lib=$1
fortify=$2
cet=$3
shift 3
status=0
fail() { echo "$lib: $*" >&2; status=1; }

readelf -d "$lib" | grep -Eq '\((FLAGS|FLAGS_1)\).*\b(BIND_NOW|NOW)\b' || fail "not bound immediately (-z now)"
readelf -lW "$lib" | grep -q 'GNU_RELRO' || fail "no RELRO segment"
stack=$(readelf -lW "$lib" | awk '$1 == "GNU_STACK" { print $7 }')
[ "$stack" = "RW" ] || fail "stack segment flags are '$stack', not RW"
undefined=$(nm -D --undefined-only "$lib")
echo "$undefined" | grep -q '__stack_chk_fail' || fail "no stack-protector check"
if [ "$fortify" = 1 ]; then
  echo "$undefined" | grep -Eq '__[a-z_]+_chk(@|$)' || fail "no fortified call"
fi
if [ "$cet" = 1 ]; then
  for obj in "$@"; do
    readelf -nW "$obj" | grep -q 'IBT, SHSTK' || fail "$obj: no IBT and SHSTK property (-fcf-protection)"
  done
  crti=$(${CC:-cc} -print-file-name=crti.o)
  if readelf -nW "$crti" 2>/dev/null | grep -q 'IBT'; then
    readelf -nW "$lib" | grep -q 'IBT' || fail "no IBT property, though the C runtime has it"
  fi
fi
exit $status
