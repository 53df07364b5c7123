#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole suite twice: a
# normal build and an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
run() {
  local dir=$1; shift
  # Warnings are errors here, and the tests' tools and examples are built.
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORX_WERROR=ON \
        -DBUILD_TESTING=ON -DVORX_TOOLS=ON -DVORX_EXAMPLES=ON "$@"
  cmake --build "$dir" -j "$jobs"
  # DBUSXX_VERBOSE would add lines to the streams the tests compare.
  env -u DBUSXX_VERBOSE ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

# The benchmarks are built (not run) so that they keep compiling.
run "$root/build" -DVORX_BENCH=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run "$root/build-asan" -DVORX_SANITIZE=ON -DVORX_BENCH=OFF
echo "all tests passed (normal and sanitizer builds)"
