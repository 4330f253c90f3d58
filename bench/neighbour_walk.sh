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
snmpd_pid=
cleanup() {
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
ip -n "$ns" -6 addr add 2001:db8::1/64 dev va nodad
ip -n "$ns" link set va up
ip -n "$ns" link set vb up
# Permanent entries are not garbage-collected; raise the limits where the
# kernel keeps them per namespace.
for family in ipv4 ipv6; do
  ip netns exec "$ns" sysctl -qw net.$family.neigh.default.gc_thresh1=200000 \
    net.$family.neigh.default.gc_thresh2=200000 net.$family.neigh.default.gc_thresh3=200000 \
    2> /dev/null || true
done
python3 -c "
for i in range($n):
    print('neigh add 10.20.%d.%d lladdr 02:00:00:00:%02x:%02x dev va nud permanent' % (i // 250, i % 250 + 2, (i >> 8) & 255, i & 255))
    print('neigh add 2001:db8::%x:%x lladdr 02:00:00:01:%02x:%02x dev va nud permanent' % (i >> 8, (i & 255) + 2, (i >> 8) & 255, i & 255))
" > "$work/neigh"
ip -n "$ns" -batch "$work/neigh"
printf 'agentaddress udp:127.0.0.1:161\nrocommunity public 127.0.0.1\n' > "$work/snmpd.conf"
SNMP_PERSISTENT_DIR=$work ip netns exec "$ns" snmpd -f -Lo -C -I -smux -c "$work/snmpd.conf" \
  > "$work/snmpd.log" 2>&1 &
snmpd_pid=$!
for _ in $(seq 1 50); do
  SNMP_PERSISTENT_DIR=$work ip netns exec "$ns" snmpget -v2c -c public -t 1 -r 0 127.0.0.1 \
    1.3.6.1.2.1.1.1.0 > /dev/null 2>&1 && break
  sleep 0.2
done

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
