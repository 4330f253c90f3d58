#!/usr/bin/env bash
# A walk of a ROWS-row ARP table over SNMPv3 authPriv against SNMPv2c of the
# same agent, by the SNMP layer's own walker (bench/snmp_v3_walk_bench). The
# agent is snmpd serving the neighbour table of a network namespace made
# here (ROWS permanent entries), with one v3 user; snmpd and the walker run
# inside the namespace, on 127.0.12.10. Needs root.
#
# The walk reads four columns of ipNetToPhysicalTable, one row per exchange
# as the collector walks ipNetToMediaTable: snmpd serves the older table by
# scanning all entries for every request (a 20000-row walk takes minutes and
# measures only that), the newer one from an index, which leaves the
# exchanges themselves, and so the cost of v3, to be measured.
#
#   bench/snmp_v3_walk.sh BUILD_DIR [RUNS] [ROWS] [AUTH PRIV]   (default: 3 20000 SHA AES)
set -euo pipefail
build=$(cd "${1:?usage: snmp_v3_walk.sh BUILD_DIR [RUNS] [ROWS] [AUTH PRIV]}" && pwd)
runs=${2:-3}
rows=${3:-20000}
auth=${4:-SHA}
priv=${5:-AES}
address=127.0.12.10
ns=vexa-v3-bench-$$
work=$(mktemp -d /tmp/vexa-v3-bench-XXXXXX)
source "$(dirname "$0")/../scripts/neighbour-namespace.sh"
cleanup() {
  stop_neighbour_namespace "$ns"
  rm -rf "$work"
}
trap cleanup EXIT

make_neighbour_namespace "$ns" "$work" "$rows"
start_neighbour_snmpd "$ns" "$work" "$address" "agentaddress udp:$address:161
rocommunity public 127.0.0.0/8
createUser vexa $auth vexa-auth-pass $priv vexa-priv-pass
rouser vexa priv"
# net-snmp's own tools below keep their state in this run's folder.
export SNMP_PERSISTENT_DIR=$work/state SNMPCONFPATH=$work/none MIBS= MIBDIRS=$work/none

echo "== $rows rows, $runs runs each, user vexa $auth/$priv"
ip netns exec "$ns" "$build/bench/snmp_v3_walk_bench" --runs="$runs" \
  --columns=1.3.6.1.2.1.4.35.1.4,1.3.6.1.2.1.4.35.1.5,1.3.6.1.2.1.4.35.1.6,1.3.6.1.2.1.4.35.1.7 \
  "$address" vexa "$auth" vexa-auth-pass "$priv" vexa-priv-pass

# net-snmp's own walker over the same agent, one column (as many exchanges):
# how much of the difference the agent's side of v3 makes on its own.
for version in v2c v3; do
  args=(-v2c -c public)
  [ "$version" = v3 ] && args=(-v3 -l authPriv -u vexa -a "$auth" -A vexa-auth-pass -x "$priv" -X vexa-priv-pass)
  start=$(date +%s.%N)
  n=$(ip netns exec "$ns" snmpwalk "${args[@]}" -On -t 5 "$address" 1.3.6.1.2.1.4.35.1.4 | wc -l)
  end=$(date +%s.%N)
  printf 'snmpwalk -%s: %d rows in %.3f s\n' "$version" "$n" "$(echo "$end - $start" | bc -l)"
done
