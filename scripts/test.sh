#!/usr/bin/env bash
# Builds every flavour and runs the whole test suite: plain, ASan+UBSan, and the
# threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== plain build"
scripts/build.sh build
ctest --test-dir build -j "$jobs" --output-on-failure

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh build-asan address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" --output-on-failure

echo "== fuzzing (libFuzzer, ASan+UBSan, bounded)"
scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

echo "== ThreadSanitizer (threaded tests)"
scripts/build.sh build-tsan thread
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/cmake/tsan.supp" \
  ctest --test-dir build-tsan -j "$jobs" -L threaded --output-on-failure

echo "== Windows build (mingw-w64, 32- and 64-bit) under wine"
scripts/test-windows.sh
