#!/usr/bin/env bash
# Fuzzes each target for a bounded time under ASan+UBSan: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DFANBENCH_FUZZ=ON -DFANBENCH_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_frame_assembler fuzz_profile_file >/dev/null
for target in frame_assembler profile_file; do
  work=$(mktemp -d)
  cp fuzz/corpus/$target/* "$work"/  # the repository's seeds stay as they are
  echo "== fuzzing $target for ${seconds}s"
  log=$(mktemp)
  if ! build-fuzz/bin/fuzz_$target -max_total_time="$seconds" -max_len=4096 "$work" >"$log" 2>&1; then
    tail -40 "$log"
    echo "fuzz_$target found a failure"
    exit 1
  fi
  grep -E "^Done" "$log"
  rm -f "$log"
  rm -rf "$work"
done
