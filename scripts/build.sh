#!/usr/bin/env bash
# Configures and builds one flavour of the tree: scripts/build.sh DIR [SANITIZER]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
sanitize=${2:-}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFANBENCH_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j "$(nproc)"
