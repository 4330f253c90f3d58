#!/usr/bin/env bash
# Rows per second of the collector's walk of ipNetToPhysicalTable
# (NeighbourTable 1) against its walk of ipNetToMediaTable, and against
# net-snmp's snmpwalk of the physical-address column (one column, the least a
# get-next walker must ask), on snmpd serving the kernel neighbour table of a
# network namespace made here: N IPv4 and N IPv6 permanent entries. Everything
# runs inside the namespace on its own loopback; the namespace is deleted at
# the end.
#
#   bench/neighbour_walk.sh BUILD_DIR [N] [RUNS]        (defaults: 10000, 3)
set -euo pipefail
build=${1:?usage: neighbour_walk.sh BUILD_DIR [N] [RUNS]}
n=${2:-10000}
runs=${3:-3}
bench=$(cd "$build" && pwd)/bench/arp_walk_bench
ns=vexa-neigh-bench-$$
work=$(mktemp -d /tmp/vexa-neigh-bench-XXXXXX)
source "$(dirname "$0")/../scripts/neighbour-namespace.sh"
cleanup() {
  stop_neighbour_namespace "$ns"
  rm -rf "$work"
}
trap cleanup EXIT

make_neighbour_namespace "$ns" "$work" "$n" 1
start_neighbour_snmpd "$ns" "$work" 127.0.0.1 "agentaddress udp:127.0.0.1:161
rocommunity public 127.0.0.1"

echo "== ipNetToMediaTable ($n IPv4 rows), $runs runs"
ip netns exec "$ns" "$bench" 127.0.0.1 "$runs" | tail -1
echo "== ipNetToPhysicalTable ($n IPv4 + $n IPv6 rows), $runs runs"
NEIGHBOUR_TABLE=1 ip netns exec "$ns" "$bench" 127.0.0.1 "$runs" | tail -1
start=$(date +%s.%N)
rows=$(SNMP_PERSISTENT_DIR=$work ip netns exec "$ns" snmpwalk -v2c -c public -On -t 5 \
  127.0.0.1 1.3.6.1.2.1.4.35.1.4 | grep -c '^\.1\.3\.6\.1\.2\.1\.4\.35\.1\.4\.' || true)
t=$(echo "$(date +%s.%N) - $start" | bc -l)
printf 'snmpwalk -v2c of the PhysAddress column: %d rows in %.3f s, %.0f rows/s\n' \
  "$rows" "$t" "$(echo "$rows / $t" | bc -l)"
