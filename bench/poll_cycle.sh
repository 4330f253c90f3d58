#!/usr/bin/env bash
# One poll cycle of ROUTERS simulated routers (snmpsim on 127.0.7.2 and up,
# port 161) of ROWS ARP entries each, through the collector's walk and
# merge: prints the total time, the time in the specified waits (where the
# walks run) and the time outside them. Needs root (port 161).
#
#   bench/poll_cycle.sh BUILD_DIR [ROUTERS] [ROWS]      (default 5 routers, 20000 rows)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: poll_cycle.sh BUILD_DIR [ROUTERS] [ROWS]}" && pwd)
routers=${2:-5}
rows=${3:-20000}
work=$(mktemp -d /tmp/vexa-poll-bench-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

source "$here/../scripts/simulated-router.sh"
addresses=()
for k in $(seq 1 "$routers"); do
  addresses+=("127.0.7.$((k + 1))")
  start_simulated_router "$work/$k" "${addresses[-1]}" "$rows" "10.$k.0.1"
done
for address in "${addresses[@]}"; do wait_for_agent "$address"; done
"$here/../scripts/make-program-folder.sh" "$work/program" "$build/collector/VexaArpSrv" > /dev/null
echo "== one poll of $routers routers x $rows rows (snmpsim)"
"$build/bench/collector_bench" poll "$work/program" "${addresses[@]}"
