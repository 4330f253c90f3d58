#!/usr/bin/env bash
# Poll cycles over a simulated wide-area network: ROUTERS snmpsim routers of
# ROWS entries (127.0.31.k), each behind a relay on 127.0.30.k:161 that holds
# every request for RTT_MS (bench/udp_delay_relay.cpp in its snmp mode). In
# one run: the cycle one walk at a time (ParallelWalks 1), the cycle with
# ParallelWalks PARALLEL, and the slowest router of the first cycle walked
# alone; for each the total time and the collector's CPU, and whether both
# cycles left the same ArpTable. The routers' address ranges overlap, so the
# order of the merge shows in the table. Needs root (port 161).
#
#   bench/wan_cycle.sh BUILD_DIR [ROUTERS] [ROWS] [RTT_MS] [PARALLEL] [REPETITIONS]
#                      (default 10 2000 20 10 25)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: wan_cycle.sh BUILD_DIR [ROUTERS] [ROWS] [RTT_MS] [PARALLEL] [REPETITIONS]}" && pwd)
routers=${2:-10}
rows=${3:-2000}
rtt=${4:-20}
parallel=${5:-10}
reps=${6:-25}
work=$(mktemp -d /tmp/vexa-wan-bench-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

source "$here/../scripts/simulated-router.sh"
relays=()
for k in $(seq 1 "$routers"); do
  # Router k starts half a table after router k - 1: its upper half overlaps
  # the next one's lower half, with other MAC addresses.
  o=$(((k - 1) * rows / 2 + 1))
  start_simulated_router "$work/$k" "127.0.31.$k" "$rows" \
    "10.$((o >> 16 & 255)).$((o >> 8 & 255)).$((o & 255))" > /dev/null 2>&1
  "$build/bench/udp_delay_relay" "127.0.30.$k:161" "127.0.31.$k:161" "$rtt" 3600 snmp \
    2> /dev/null &
  pids+=($!)
  relays+=("127.0.30.$k")
done
for k in $(seq 1 "$routers"); do wait_for_agent "127.0.31.$k"; done
for relay in "${relays[@]}"; do wait_for_agent "$relay"; done
# The first walk of every router fills snmpsim's cache; no cycle should pay for it.
for k in $(seq 1 "$routers"); do
  snmpbulkwalk -v2c -c public -t 30 -Cr"$reps" "127.0.31.$k" 1.3.6.1.2.1.4.22.1.1 > /dev/null
done

program=$work/program
"$here/../scripts/make-program-folder.sh" "$program" "$build/collector/VexaArpSrv" > /dev/null
settings() { "$build/cli/vexa-arp" --folder "$program" set "$@" > /dev/null; }
settings UseBulk 1 MaxRepetitions "$reps"

cycle() {  # cycle PARALLEL ROUTER...: one poll, its two lines
  local p=$1
  shift
  settings ParallelWalks "$p"
  "$build/bench/collector_bench" poll "$program" "$@"
}
total() { sed -nE 's/.*total ([0-9.]+) s.*/\1/p'; }
cpu() { sed -nE 's/.*CPU of the collector ([0-9.]+) s.*/\1/p'; }
digest() { sed -nE 's/.*ArpTable digest ([0-9a-f]+).*/\1/p'; }

echo "== $routers routers x $rows rows behind a round trip of $rtt ms, GETBULK of $reps"
sequential=$(cycle 1 "${relays[@]}")
echo "one walk at a time: $sequential"
side=$(cycle "$parallel" "${relays[@]}")
echo "ParallelWalks $parallel: $side"
slowest=$(echo "$sequential" | sed -nE 's/.*slowest walk ([0-9.]+) .*/\1/p')
alone=$(cycle 1 "$slowest")
echo "slowest router alone: $alone"

s=$(echo "$sequential" | total)
p=$(echo "$side" | total)
a=$(echo "$alone" | total)
echo "-- summary"
printf 'cycle one at a time %.2f s (CPU %.2f s); ParallelWalks %d %.2f s (CPU %.2f s); slowest router alone %.2f s\n' \
  "$s" "$(echo "$sequential" | cpu)" "$parallel" "$p" "$(echo "$side" | cpu)" "$a"
printf 'parallel / slowest alone: %.2f (goal <= 1.3); parallel / one at a time: %.2f (goal <= 0.2)\n' \
  "$(echo "$p / $a" | bc -l)" "$(echo "$p / $s" | bc -l)"
printf 'CPU parallel / one at a time: %.2f (goal <= 1.1)\n' \
  "$(echo "$(echo "$side" | cpu) / $(echo "$sequential" | cpu)" | bc -l)"
if [ "$(echo "$sequential" | digest)" = "$(echo "$side" | digest)" ]; then
  echo "ArpTable: identical"
else
  echo "ArpTable: DIFFERENT"
  exit 1
fi
