#!/usr/bin/env bash
# Installs what is missing, configures the sanitizer build (ASan + UBSan),
# builds it and runs the whole suite with CTest. Extra arguments go to ctest
# (for example: scripts/test.sh -R Timeline).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh

build="$root/build/test"
jobs="$(nproc 2>/dev/null || echo 2)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_SANITIZE=ON \
      -DORVANE_BUILD_BENCH=OFF
cmake --build "$build" -j "$jobs"

# Sanitizer reports fail the test that triggered them.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 600 "$@"
