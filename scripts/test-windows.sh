#!/usr/bin/env bash
# Builds Dutyramp.exe (32- and 64-bit) and runs its end-to-end tests under wine, in a
# wine prefix made fresh for this run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh
prefix=$(mktemp -d /tmp/fanbench-wine-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
echo "== booting a wine prefix"
WINEPREFIX=$prefix WINEDEBUG=-all wineboot -i >/dev/null 2>&1
WINEPREFIX=$prefix wineserver -w
cmake -S . -B build -DFANBENCH_WINE_TESTS=ON -DFANBENCH_WINEPREFIX="$prefix" >/dev/null
cmake --build build -j "$(nproc)" --target dutyramp_wine_tests
ctest --test-dir build -L wine --output-on-failure
