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
snmpd_pid=
cleanup() {
  # snmpd writes its state as it stops: let it finish before the folder goes.
  if [ -n "$snmpd_pid" ]; then
    kill "$snmpd_pid" 2> /dev/null || true
    wait "$snmpd_pid" 2> /dev/null || true
  fi
  ip netns del "$ns" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ip netns add "$ns"
ip -n "$ns" link set lo up
ip -n "$ns" link add va type veth peer name vb
ip -n "$ns" addr add 10.20.0.1/16 dev va
ip -n "$ns" link set va up
ip -n "$ns" link set vb up
ip netns exec "$ns" sysctl -qw net.ipv4.neigh.default.gc_thresh1=200000 \
  net.ipv4.neigh.default.gc_thresh2=200000 net.ipv4.neigh.default.gc_thresh3=200000 \
  2> /dev/null || true
python3 -c "
for i in range($rows):
    print('neigh add 10.20.%d.%d lladdr 02:00:00:00:%02x:%02x dev va nud permanent' % (i // 250, i % 250 + 2, (i >> 8) & 255, i & 255))
" > "$work/neigh"
ip -n "$ns" -batch "$work/neigh"

cat > "$work/snmpd.conf" << CONF
agentaddress udp:$address:161
rocommunity public 127.0.0.0/8
createUser vexa $auth vexa-auth-pass $priv vexa-priv-pass
rouser vexa priv
CONF
export SNMP_PERSISTENT_DIR=$work/state SNMPCONFPATH=$work/none MIBS= MIBDIRS=$work/none
ip netns exec "$ns" snmpd -f -Lo -C -I -smux -c "$work/snmpd.conf" > "$work/snmpd.log" 2>&1 &
snmpd_pid=$!
for _ in $(seq 1 50); do
  ip netns exec "$ns" snmpget -v2c -c public -t 1 -r 0 "$address" 1.3.6.1.2.1.1.1.0 \
    > /dev/null 2>&1 && break
  sleep 0.2
done

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
