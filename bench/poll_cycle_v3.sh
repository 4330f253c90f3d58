#!/usr/bin/env bash
# One poll cycle of the collector (walk and merge into ArpTable) over SNMPv2c
# and over SNMPv3 of the same agent, alternately: the cost of SNMPv3 to a
# whole cycle. The agent is snmpd serving ROWS permanent IPv4 neighbours of
# a network namespace made here, with one v3 user; snmpd and the collector run
# inside the namespace, on 127.0.12.11. The cycle walks ipNetToPhysicalTable
# (NeighbourTable 1), which snmpd serves from an index, so the figures measure
# the exchanges rather than snmpd's scan of ipNetToMediaTable. Needs root.
#
#   bench/poll_cycle_v3.sh BUILD_DIR [RUNS] [ROWS] [AUTH PRIV]   (default: 3 20000 SHA AES)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: poll_cycle_v3.sh BUILD_DIR [RUNS] [ROWS] [AUTH PRIV]}" && pwd)
runs=${2:-3}
rows=${3:-20000}
auth=${4:-SHA}
priv=${5:-AES}
address=127.0.12.11
ns=vexa-v3-poll-bench-$$
work=$(mktemp -d /tmp/vexa-v3-poll-bench-XXXXXX)
source "$here/../scripts/neighbour-namespace.sh"
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

"$here/../scripts/make-program-folder.sh" "$work/program" "$build/collector/VexaArpSrv" > /dev/null
settings() { sqlite3 "$work/program/VexaArp.mdb" "UPDATE Settings_General SET $1"; }
settings "NeighbourTable = 1, V3User = 'vexa', V3AuthProtocol = '$auth',
  V3AuthPassword = 'vexa-auth-pass', V3PrivProtocol = '$priv', V3PrivPassword = 'vexa-priv-pass'"
echo "== one poll cycle of $rows rows, $runs runs each (snmpd, ipNetToPhysicalTable)"
for run in $(seq 1 "$runs"); do
  for version in 2 3; do
    settings "SnmpVersion = $version"
    ip netns exec "$ns" "$build/bench/collector_bench" poll "$work/program" "$address"
  done
done
