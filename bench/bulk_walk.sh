#!/usr/bin/env bash
# Wall time of the collector's ARP-table walk with GETBULK against
# net-snmp's snmpbulkwalk -v2c with the same repetitions, on the same agent in
# the same run: first snmpsim serving a generated table of ROWS rows on
# 127.0.14.2, then snmpd serving the real neighbour table of a network
# namespace made here (KERNEL_ROWS permanent entries; snmpd scans the table
# for every binding, so it is kept smaller). snmpbulkwalk walks the whole
# entry (all four columns), which is what it needs to learn the same rows.
# Besides the wall time, each run shows the CPU time of the walker's process
# (one walk and its start) and of the agent; the walker's CPU is the figure
# that a change of the walk's own reading shows, whatever the agent costs.
# Needs root.
#
#   bench/bulk_walk.sh BUILD_DIR [RUNS] [ROWS] [REPETITIONS] [KERNEL_ROWS]
#                                (default: 5 20000 25 2000; KERNEL_ROWS 0 skips snmpd)
set -euo pipefail
build=$(cd "${1:?usage: bulk_walk.sh BUILD_DIR [RUNS] [ROWS] [REPETITIONS] [KERNEL_ROWS]}" && pwd)
runs=${2:-5}
rows=${3:-20000}
reps=${4:-25}
kernel_rows=${5:-2000}
bench=$build/bench/arp_walk_bench
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
source "$scripts/neighbour-namespace.sh"
address=127.0.14.2
ns=vexa-bulk-bench-$$
work=$(mktemp -d /tmp/vexa-bulk-bench-XXXXXX)
chmod 755 "$work"  # snmpsimd reads its data as nobody
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true  # snmpd writes its state as it ends
  done
  pids=()
  stop_neighbour_namespace "$ns"
  rm -rf "$work"
}
trap cleanup EXIT
# Every net-snmp program keeps its state in this run's own folder and loads no MIB.
export SNMP_PERSISTENT_DIR=$work/state SNMPCONFPATH=$work/none MIBS= MIBDIRS=$work/none

# CPU seconds the agent (the last pid started) has used so far: both walkers
# wait on the agent, so its share of a walk shows what the request shape costs
# it, whatever else the machine is doing.
agent_cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/${pids[-1]}/stat"; }

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# compare LABEL ROWS AGENT [COMMAND PREFIX...]: both walkers against AGENT,
# run through the prefix (ip netns exec ...), one run of each in turn so that
# a change of the machine's load falls on both.
compare() {
  local label=$1 n=$2 agent=$3
  shift 3
  echo "== $label: $n rows, GETBULK of $reps, $runs runs each"
  local ours=() ours_cpu=() theirs=() out t start end got cpu walk_cpu
  for r in $(seq 1 "$runs"); do
    cpu=$(agent_cpu)
    out=$("$@" /usr/bin/time -f '%U %S' -o "$work/walk-cpu" "$bench" "$agent" 1 public "$reps")
    walk_cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$work/walk-cpu")
    printf '%s, walk CPU %.2f s, agent CPU %.2f s\n' \
      "$(echo "$out" | head -1 | sed "s/^run 1/walk run $r/")" "$walk_cpu" \
      "$(echo "$(agent_cpu) - $cpu" | bc -l)"
    ours+=("$(echo "$out" | tail -1 | sed -E 's/.*median ([0-9.]+) s.*/\1/')")
    ours_cpu+=("$walk_cpu")
    cpu=$(agent_cpu)
    start=$(date +%s.%N)
    got=$("$@" snmpbulkwalk -v2c -c public -On -t 5 -Cr"$reps" "$agent" 1.3.6.1.2.1.4.22.1 |
      grep -c '^\.1\.3\.6\.1\.2\.1\.4\.22\.1\.1\.' || true)
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    printf 'snmpbulkwalk run %d: %d rows in %.3f s, agent CPU %.2f s\n' "$r" "$got" "$t" \
      "$(echo "$(agent_cpu) - $cpu" | bc -l)"
    theirs+=("$t")
  done
  local a b
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  printf 'walk: median %.3f s, CPU median %.2f s; snmpbulkwalk -v2c -Cr%d: median %.3f s\n' \
    "$a" "$(printf '%s\n' "${ours_cpu[@]}" | median)" "$reps" "$b"
  printf 'ratio walk / snmpbulkwalk (wall time): %.2f (target <= 1.0)\n' "$(echo "$a / $b" | bc -l)"
}

# snmpsim, generated table.
source "$scripts/simulated-router.sh"
start_simulated_router "$work/sim" "$address" "$rows" 10.40.0.1 > /dev/null 2>&1
wait_for_agent "$address"
# The first walk fills snmpsim's cache; neither walker should pay for it.
snmpbulkwalk -v2c -c public -On -t 30 -Cr"$reps" "$address" 1.3.6.1.2.1.4.22.1.1 > /dev/null
compare "snmpsim" "$rows" "$address"
for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; wait "$pid" 2> /dev/null || true; done
pids=()

[ "$kernel_rows" -gt 0 ] || exit 0
# snmpd, the kernel's neighbour table of a namespace.
make_neighbour_namespace "$ns" "$work/kernel" "$kernel_rows"
start_neighbour_snmpd "$ns" "$work/kernel" 127.0.0.1 "agentaddress udp:127.0.0.1:161
rocommunity public 127.0.0.1"
pids+=("$snmpd_pid")
compare "snmpd, kernel table" "$kernel_rows" 127.0.0.1 ip netns exec "$ns"
