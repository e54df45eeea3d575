#!/usr/bin/env bash
# Benchmarks of the real programs over pseudo-terminals; prints a table for Dutyramp
# and one for Rotalyx. Options pass through: --idle-seconds N (both), --flood-seconds N,
# --sweeps N, --reaction-only (Dutyramp), --samples N, --cycles N (Rotalyx).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build >/dev/null
build/bin/fanbench-bench "$@"
for arg in "$@"; do
    [[ $arg == --reaction-only ]] && exit 0
done
echo
exec build/bin/rotalyx-bench "$@"
