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
# Every net-snmp program keeps its state in this run's own folder.
export SNMP_PERSISTENT_DIR=$work/state SNMPCONFPATH=$work/none MIBS= MIBDIRS=$work/none
ip netns exec "$ns" snmpd -f -Lo -C -I -smux -c "$work/snmpd.conf" > "$work/snmpd.log" 2>&1 &
snmpd_pid=$!
for _ in $(seq 1 50); do
  ip netns exec "$ns" snmpget -v2c -c public -t 1 -r 0 "$address" 1.3.6.1.2.1.1.1.0 \
    > /dev/null 2>&1 && break
  sleep 0.2
done

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
