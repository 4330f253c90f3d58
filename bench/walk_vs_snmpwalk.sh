#!/usr/bin/env bash
# Rows per second of the collector's ARP-table walk against
# net-snmp's snmpwalk -v2c of the same agent and table. The agent is snmpd
# serving the real ARP (neighbour) table of a network namespace made here,
# filled with N permanent entries; both walkers run inside the namespace on
# its own loopback. snmpwalk's rate counts the table's rows over the time it
# takes to walk the whole table (all four columns), which is what it needs to
# learn the same rows.
#
#   bench/walk_vs_snmpwalk.sh BUILD_DIR [RUNS] [SIZES...]   (default: 3 runs, 2000 20000)
set -euo pipefail
build=${1:?usage: walk_vs_snmpwalk.sh BUILD_DIR [RUNS] [SIZES...]}
runs=${2:-3}
shift $(( $# < 2 ? $# : 2 ))
sizes=("${@:-2000 20000}")
[ ${#sizes[@]} -eq 1 ] && read -r -a sizes <<< "${sizes[0]}"
bench=$(cd "$build" && pwd)/bench/arp_walk_bench
ns=vexa-walk-bench-$$
work=$(mktemp -d /tmp/vexa-walk-bench-XXXXXX)
source "$(dirname "$0")/../scripts/neighbour-namespace.sh"
cleanup() {
  stop_neighbour_namespace "$ns"
  rm -rf "$work"
}
trap cleanup EXIT

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

for n in "${sizes[@]}"; do
  stop_neighbour_namespace "$ns"
  make_neighbour_namespace "$ns" "$work" "$n"
  start_neighbour_snmpd "$ns" "$work" 127.0.0.1 "agentaddress udp:127.0.0.1:161
rocommunity public 127.0.0.1"

  echo "== $n rows, $runs runs each"
  out=$(ip netns exec "$ns" "$bench" 127.0.0.1 "$runs")
  echo "$out"
  ours=$(echo "$out" | tail -1)
  ours_rate=$(echo "$ours" | sed -E 's/.* ([0-9]+) rows\/s/\1/')
  times=()
  for r in $(seq 1 "$runs"); do
    start=$(date +%s.%N)
    rows=$(SNMP_PERSISTENT_DIR=$work ip netns exec "$ns" snmpwalk -v2c -c public -On -t 5 \
      127.0.0.1 1.3.6.1.2.1.4.22.1 | grep -c '^\.1\.3\.6\.1\.2\.1\.4\.22\.1\.1\.' || true)
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    echo "snmpwalk run $r: $rows rows in $t s"
    times+=("$t")
  done
  t=$(printf '%s\n' "${times[@]}" | median)
  snmpwalk_rate=$(echo "$n / $t" | bc -l)
  printf 'snmpwalk -v2c: %d rows, median %.3f s, %.0f rows/s\n' "$n" "$t" "$snmpwalk_rate"
  printf 'ratio walk / snmpwalk: %.2f (target >= 0.9)\n' "$(echo "$ours_rate / $snmpwalk_rate" | bc -l)"
done
