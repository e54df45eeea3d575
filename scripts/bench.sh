#!/usr/bin/env bash
# Benchmarks of the real programs over pseudo-terminals; prints one table.
# Options pass through: --idle-seconds N, --flood-seconds N, --sweeps N.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build >/dev/null
exec build/bin/fanbench-bench "$@"
