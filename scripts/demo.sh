#!/usr/bin/env bash
# A complete 0 %..100 % sweep against the simulated fan tester; no hardware needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build >/dev/null

bin=build/bin
out=build/demo
mkdir -p "$out"
# A private port map, so the demo never touches the user's own COM links.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
com=7
"$bin/fantester-sim" --com "$com" --interval "${DEMO_INTERVAL_MS:-500}" >"$out/sim.log" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$XDG_CONFIG_HOME"' EXIT
for _ in $(seq 50); do grep -q "is /dev/" "$out/sim.log" 2>/dev/null && break; sleep 0.1; done
cat "$out/sim.log"

# Progress goes to the terminal as it happens; the table goes to a file, shown at the end.
"$bin/Dutyramp" "$com" 2 </dev/null >"$out/sweep.tsv"
echo
cat "$out/sweep.tsv"
echo
"$bin/fancurve" "$out/sweep.tsv" -o "$out/sweep.svg"
echo "The table is in $out/sweep.tsv, its plot in $out/sweep.svg"
