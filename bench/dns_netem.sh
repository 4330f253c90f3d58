#!/usr/bin/env bash
# Reverse-lookup benchmark over a link with a fixed delay.
#
# Two network namespaces made here, joined by a veth pair with link-local
# addresses (169.254.53.1 client, 169.254.53.2 server), so no packet leaves
# them. The client's side of the link gets `tc netem delay`; where the
# kernel has no netem, udp_delay_relay on the server side holds each query
# for the same time instead. dnsmasq serves generated PTR records (every
# fifth address has none: NXDOMAIN), and reverse_lookup_bench compares one
# lookup at a time with the concurrent batch.
#
#   bench/dns_netem.sh [BUILD_DIR]      (as root; BUILD_DIR defaults to ./build)
#
# Settings by environment: RECORDS (addresses, default 20000), SERIAL
# (one-at-a-time lookups, default 500), DELAY_MS (default 20), IN_FLIGHT
# (default 64). Everything made here is removed on exit, failure included.
#
# With EXPORT=1 it times the collector's whole export instead
# (collector_bench export): a program folder whose ArpTable holds the
# RECORDS addresses, once with concurrent and once with one-at-a-time
# lookups, and compares the two ArpList.txt files.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
bench=$build/bench/reverse_lookup_bench
relay=$build/bench/udp_delay_relay
records=${RECORDS:-20000}
serial=${SERIAL:-500}
delay_ms=${DELAY_MS:-20}
in_flight=${IN_FLIGHT:-64}

[[ $(id -u) -eq 0 ]] || { echo "needs root (network namespaces)" >&2; exit 2; }
for f in "$bench" "$relay"; do
  [[ -x $f ]] || { echo "missing $f: build the bench targets first" >&2; exit 2; }
done
command -v ip > /dev/null || { echo "needs ip (iproute2)" >&2; exit 2; }
[[ -x /usr/sbin/dnsmasq ]] || { echo "needs /usr/sbin/dnsmasq (dnsmasq-base)" >&2; exit 2; }

tag=$$
ns_client=vexadns-cli-$tag
ns_server=vexadns-srv-$tag
veth_client=vxd${tag}c
veth_server=vxd${tag}s
client_ip=169.254.53.1
server_ip=169.254.53.2
work=$(mktemp -d /tmp/vexa-dns-bench-XXXXXX)
dnsmasq_pid=
relay_pid=
bench_pid=

cleanup() {
  local pid
  for pid in $bench_pid $relay_pid $dnsmasq_pid; do
    kill "$pid" 2> /dev/null || true
  done
  for pid in $bench_pid $relay_pid $dnsmasq_pid; do
    wait "$pid" 2> /dev/null || true
  done
  # Deleting a namespace deletes the veth end inside it, and so the pair.
  ip netns del "$ns_client" 2> /dev/null || true
  ip netns del "$ns_server" 2> /dev/null || true
  ip link del "$veth_client" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Addresses 198.18.0.0/15 (set aside for benchmarks); names for four in five.
awk -v n="$records" -v list="$work/addresses" -v conf="$work/dnsmasq.conf" 'BEGIN {
  print "local=/18.198.in-addr.arpa/" > conf
  for (i = 0; i < n; i++) {
    b = int(i / 256) % 256; c = i % 256; a = 18 + int(i / 65536)
    print "198." a "." b "." c > list
    if (i % 5 != 4) printf "ptr-record=%d.%d.%d.198.in-addr.arpa,host-%d.bench.test\n", c, b, a, i > conf
  }
}'

ip netns add "$ns_client"
ip netns add "$ns_server"
ip link add "$veth_client" type veth peer name "$veth_server"
ip link set "$veth_client" netns "$ns_client"
ip link set "$veth_server" netns "$ns_server"
ip -n "$ns_client" addr add "$client_ip/30" dev "$veth_client"
ip -n "$ns_server" addr add "$server_ip/30" dev "$veth_server"
for ns in "$ns_client" "$ns_server"; do ip -n "$ns" link set lo up; done
ip -n "$ns_client" link set "$veth_client" up
ip -n "$ns_server" link set "$veth_server" up

dnsmasq_args=(--keep-in-foreground --conf-file="$work/dnsmasq.conf" --no-resolv --no-hosts
  --no-poll --pid-file --log-facility="$work/dnsmasq.log" --bind-interfaces --port=53)
if ip netns exec "$ns_client" tc qdisc add dev "$veth_client" root netem delay "${delay_ms}ms" \
  2> "$work/netem.err"; then
  method="tc netem delay ${delay_ms}ms on $veth_client"
  ip netns exec "$ns_server" /usr/sbin/dnsmasq "${dnsmasq_args[@]}" --listen-address="$server_ip" &
  dnsmasq_pid=$!
else
  method="udp_delay_relay ${delay_ms}ms (no netem here: $(tr -d '\n' < "$work/netem.err"))"
  ip netns exec "$ns_server" /usr/sbin/dnsmasq "${dnsmasq_args[@]}" --listen-address=127.0.0.1 &
  dnsmasq_pid=$!
  ip netns exec "$ns_server" "$relay" "$server_ip:53" 127.0.0.1:53 "$delay_ms" 900 &
  relay_pid=$!
fi

# Wait (at most 10 s) until port 53 is bound: dnsmasq reads its records first.
for _ in $(seq 100); do
  if ip netns exec "$ns_server" ss -Hlun "sport = :53" | grep -q "$server_ip:53"; then break; fi
  kill -0 "$dnsmasq_pid" 2> /dev/null || { cat "$work/dnsmasq.log" >&2; exit 1; }
  sleep 0.1
done
ip netns exec "$ns_server" ss -Hlun "sport = :53" | grep -q "$server_ip:53" \
  || { echo "DNS server did not start" >&2; exit 1; }

echo "link:          $method"
echo "records:       $records addresses, $(grep -c ^ptr-record "$work/dnsmasq.conf") with a PTR record"

if [[ ${EXPORT:-0} == 1 ]]; then
  for mode in batch single; do
    folder=$work/export-$mode
    mkdir -p "$folder/Debug"
    sqlite3 "$folder/VexaArp.mdb" < "$here/../db/schema.sql" > /dev/null
    awk '{ printf "INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes) VALUES (\x27%s\x27, \x2702 00 00 00 00 01\x27, 3, 1, %d);\n", $1, NR % 7 + 1 }' \
      "$work/addresses" | { echo BEGIN\;; cat; echo COMMIT\;; } | sqlite3 "$folder/VexaArp.mdb"
    ip netns exec "$ns_client" env VEXAARP_DNS_SERVERS="$server_ip:53" \
      "$build/bench/collector_bench" export "$folder" "$mode"
  done
  if cmp -s "$work/export-batch/ArpList.txt" "$work/export-single/ArpList.txt"; then
    echo "ArpList.txt: identical ($(wc -l < "$work/export-batch/ArpList.txt") lines)"
  else
    echo "ArpList.txt: DIFFERENT" >&2
    exit 1
  fi
  exit 0
fi
# In the background, so a signal to this script is handled at once.
ip netns exec "$ns_client" env VEXAARP_DNS_SERVERS="$server_ip:53" \
  "$bench" --addresses "$work/addresses" --serial "$serial" --in-flight "$in_flight" &
bench_pid=$!
wait "$bench_pid"
