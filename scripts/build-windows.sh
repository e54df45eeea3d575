#!/usr/bin/env bash
# Cross-builds Dutyramp.exe for 32-bit (i686) and 64-bit (x86_64) Windows with mingw-w64:
# build-win32/bin/Dutyramp.exe and build-win64/bin/Dutyramp.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
for arch in i686 x86_64; do
  dir=build-win$([ "$arch" = i686 ] && echo 32 || echo 64)
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFANBENCH_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-$arch.cmake" >/dev/null
  cmake --build "$dir" -j "$(nproc)" --target Dutyramp
done
