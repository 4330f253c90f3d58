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
snmpd_pid=
cleanup() {
  if [ -n "$snmpd_pid" ]; then
    kill "$snmpd_pid" 2> /dev/null || true
    wait "$snmpd_pid" 2> /dev/null || true  # it writes its state as it ends
    snmpd_pid=
  fi
  ip netns del "$ns" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

for n in "${sizes[@]}"; do
  cleanup
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  ip -n "$ns" link add va type veth peer name vb
  ip -n "$ns" addr add 10.20.0.1/16 dev va
  ip -n "$ns" link set va up
  ip -n "$ns" link set vb up
  # Permanent entries are not garbage-collected; raise the limits where the
  # kernel keeps them per namespace.
  ip netns exec "$ns" sysctl -qw net.ipv4.neigh.default.gc_thresh1=200000 \
    net.ipv4.neigh.default.gc_thresh2=200000 net.ipv4.neigh.default.gc_thresh3=200000 \
    2> /dev/null || true
  mkdir -p "$work"
  python3 -c "
for i in range($n):
    print('neigh add 10.20.%d.%d lladdr 02:00:00:00:%02x:%02x dev va nud permanent' % (i // 250, i % 250 + 2, (i >> 8) & 255, i & 255))
" > "$work/neigh"
  ip -n "$ns" -batch "$work/neigh"
  printf 'agentaddress udp:127.0.0.1:161\nrocommunity public 127.0.0.1\n' > "$work/snmpd.conf"
  SNMP_PERSISTENT_DIR=$work ip netns exec "$ns" snmpd -f -Lo -C -I -smux -c "$work/snmpd.conf" \
    > "$work/snmpd.log" 2>&1 &
  snmpd_pid=$!
  for _ in $(seq 1 50); do
    SNMP_PERSISTENT_DIR=$work/snmpget ip netns exec "$ns" snmpget -v2c -c public -t 1 -r 0 127.0.0.1 1.3.6.1.2.1.1.1.0 \
      > /dev/null 2>&1 && break
    sleep 0.2
  done

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
