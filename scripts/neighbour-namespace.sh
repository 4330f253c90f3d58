# Shell functions for scripts that need snmpd serving a large kernel neighbour
# table: a network namespace with a veth pair and permanent neighbour
# entries, and snmpd inside it. Source this file; the caller calls
# stop_neighbour_namespace when it ends (its EXIT trap).
#
#   make_neighbour_namespace NS WORK ROWS [IPV6]
#       The namespace NS (lo up, veth va/vb, 10.20.0.1/16 on va) with ROWS
#       permanent IPv4 neighbours on va, and as many IPv6 ones (2001:db8::/64)
#       when IPV6 is 1. WORK is a scratch folder of the caller's.
#   start_neighbour_snmpd NS WORK ADDRESS CONFIG
#       snmpd in NS with the configuration text CONFIG; sets snmpd_pid and
#       returns when snmpd answers a get of community public on ADDRESS.
#   stop_neighbour_namespace NS
#       Stops that snmpd, if any, and deletes NS.

snmpd_pid=

make_neighbour_namespace() {
  local ns=$1 work=$2 rows=$3 ipv6=${4:-0}
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  ip -n "$ns" link add va type veth peer name vb
  ip -n "$ns" addr add 10.20.0.1/16 dev va
  if [ "$ipv6" = 1 ]; then ip -n "$ns" -6 addr add 2001:db8::1/64 dev va nodad; fi
  ip -n "$ns" link set va up
  ip -n "$ns" link set vb up
  # Permanent entries are not garbage-collected; raise the limits where the
  # kernel keeps them per namespace.
  for family in ipv4 ipv6; do
    ip netns exec "$ns" sysctl -qw net.$family.neigh.default.gc_thresh1=200000 \
      net.$family.neigh.default.gc_thresh2=200000 net.$family.neigh.default.gc_thresh3=200000 \
      2> /dev/null || true
  done
  mkdir -p "$work"
  python3 -c "
for i in range($rows):
    print('neigh add 10.20.%d.%d lladdr 02:00:00:00:%02x:%02x dev va nud permanent' % (i // 250, i % 250 + 2, (i >> 8) & 255, i & 255))
    if $ipv6 == 1:
        print('neigh add 2001:db8::%x:%x lladdr 02:00:00:01:%02x:%02x dev va nud permanent' % (i >> 8, (i & 255) + 2, (i >> 8) & 255, i & 255))
" > "$work/neigh"
  ip -n "$ns" -batch "$work/neigh"
}

start_neighbour_snmpd() {
  local ns=$1 work=$2 address=$3 config=$4
  # snmpd and its probe keep their state in folders of this run's own.
  printf '%s\n' "$config" > "$work/snmpd.conf"
  SNMP_PERSISTENT_DIR=$work/snmpd-state ip netns exec "$ns" \
    snmpd -f -Lo -C -I -smux -c "$work/snmpd.conf" > "$work/snmpd.log" 2>&1 &
  snmpd_pid=$!
  for _ in $(seq 1 50); do
    SNMP_PERSISTENT_DIR=$work/snmpget-state ip netns exec "$ns" \
      snmpget -v2c -c public -t 1 -r 0 "$address" 1.3.6.1.2.1.1.1.0 > /dev/null 2>&1 && return 0
    sleep 0.2
  done
  echo "snmpd in $ns did not answer on $address:" >&2
  cat "$work/snmpd.log" >&2
  return 1
}

stop_neighbour_namespace() {
  local ns=$1
  if [ -n "$snmpd_pid" ]; then
    kill "$snmpd_pid" 2> /dev/null || true
    wait "$snmpd_pid" 2> /dev/null || true  # it writes its state as it ends
    snmpd_pid=
  fi
  ip netns del "$ns" 2> /dev/null || true
}
