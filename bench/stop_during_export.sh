#!/usr/bin/env bash
# Time from SIGTERM to the collector's exit for a stop that comes while the
# stop-time export runs: once against a DNS server that answers (dnsmasq on
# 127.0.9.53:53, every name NXDOMAIN), once against one that never answers
# (a silent socket on 127.0.9.54:53). ArpTable holds ROWS addresses; the stop
# comes STOP_AFTER seconds after the first name query. Prints the time, the
# exit status and what ArpList.txt holds. Needs root (port 53).
#
#   bench/stop_during_export.sh BUILD_DIR [ROWS] [STOP_AFTER]   (default 20000, 2)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: stop_during_export.sh BUILD_DIR [ROWS] [STOP_AFTER]}" && pwd)
rows=${2:-20000}
stop_after=${3:-2}
work=$(mktemp -d /tmp/vexa-stop-bench-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $2 seconds for the command $1 to succeed.
wait_for() {
  local i
  for i in $(seq $(($2 * 10))); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  echo "gave up waiting for: $1" >&2
  return 1
}

# one_run LABEL DNS_SERVER QUERY_SEEN_COMMAND
one_run() {
  local folder=$work/$1 started stopped status=0 pid
  "$here/../scripts/make-program-folder.sh" "$folder" "$build/collector/VexaArpSrv" > /dev/null
  sqlite3 "$folder/VexaArp.mdb" \
    "UPDATE Settings_General SET StopTime = '2000-01-01 00:00', DnsCheck = 1"
  VEXAARP_DNS_SERVERS=$2 "$folder/VexaArpSrv" &
  pid=$!
  pids+=("$pid")
  wait_for "grep -q 'Service Started.' '$folder/Debug/AppEvent.txt' 2> /dev/null" 20
  # The start empties the store; the stop time is past, so the first tick
  # (30 s after the start) exports what is stored by then.
  sqlite3 "$folder/VexaArp.mdb" \
    "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < $rows - 1)
     INSERT INTO ArpTable (IpAddr, MacAddr, SeenTimes)
     SELECT '10.' || (i / 65536) || '.' || (i / 256 % 256) || '.' || (i % 256), 'm', 1 FROM n"
  wait_for "$3" 60
  sleep "$stop_after"
  started=$(date +%s.%N)
  kill -TERM "$pid"
  wait "$pid" || status=$?
  stopped=$(date +%s.%N)
  printf '%-24s SIGTERM to exit %6.2f s, exit status %d; ArpList.txt %s lines, %s of them "Error"\n' \
    "$1:" "$(echo "$stopped - $started" | bc)" "$status" \
    "$(grep -c '' "$folder/ArpList.txt" 2> /dev/null || true)" \
    "$(grep -c $'\tError\r$' "$folder/ArpList.txt" 2> /dev/null || true)"
  grep -h 'Service stop:' "$folder/Debug/AppEvent.txt" | cut -f4 | sed 's/^/                         /' || true
}

/usr/sbin/dnsmasq --keep-in-foreground --no-resolv --no-hosts --no-poll --pid-file \
  --listen-address=127.0.9.53 --bind-interfaces --port=53 --local=/10.in-addr.arpa/ \
  --log-queries --log-facility="$work/dnsmasq.log" &
pids+=($!)
python3 -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.9.54", 53))
s.recvfrom(4096)
open(sys.argv[1], "w").close()
while True:
    s.recvfrom(4096)
' "$work/dead-query" &
pids+=($!)

echo "== a stop $stop_after s into the export of $rows addresses"
one_run "answering DNS" 127.0.9.53:53 "grep -q 'query\[PTR\]' '$work/dnsmasq.log' 2> /dev/null"
one_run "DNS that never answers" 127.0.9.54:53 "test -e '$work/dead-query'"
