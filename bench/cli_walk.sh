#!/usr/bin/env bash
# Wall time of `vexa-arp walk` against net-snmp's snmpwalk -v2c and
# snmpbulkwalk -v2c of the same agent and table, in one run: snmpsim serving
# an ipNetToMediaTable of ROWS rows on the loopback of a network namespace
# made here. snmpwalk and snmpbulkwalk walk the whole table (all four
# columns), which is what they need to learn the same rows. Every figure is
# the median of RUNS runs of the whole command, start to exit; vexa-arp's own
# summary line (the walk alone, without its one second of socket start-up)
# is shown as well.
#
#   bench/cli_walk.sh BUILD_DIR [ROWS] [RUNS]   (default: 20000 rows, 3 runs; as root)
set -euo pipefail
build=${1:?usage: cli_walk.sh BUILD_DIR [ROWS] [RUNS]}
rows=${2:-20000}
runs=${3:-3}
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
ns=vexa-cli-walk-$$
work=$(mktemp -d /tmp/vexa-cli-walk-XXXXXX)
agent_pid=
cleanup() {
  if [ -n "$agent_pid" ]; then
    kill "$agent_pid" 2> /dev/null || true
    wait "$agent_pid" 2> /dev/null || true
  fi
  ip netns del "$ns" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

ip netns add "$ns"
ip -n "$ns" link set lo up

# The table in OID order: each column over every row, rows by ifIndex and
# address.
mkdir -p "$work/data" "$work/cache"
python3 - "$rows" > "$work/data/public.snmprec" << 'EOF'
import sys
n = int(sys.argv[1])
rows = [(1 + i % 4, (10, 20, i // 250, i % 250 + 1), i) for i in range(n)]
rows.sort()
print('1.3.6.1.2.1.1.1.0|4|Vexa benchmark router')
for column in (1, 2, 3, 4):
    for if_index, ip, i in rows:
        oid = '1.3.6.1.2.1.4.22.1.%d.%d.%s' % (column, if_index, '.'.join(map(str, ip)))
        value = {1: '2|%d' % if_index,
                 2: '4x|0200%08x' % (i + 1),
                 3: '64|%s' % '.'.join(map(str, ip)),
                 4: '2|%d' % (4 if i % 7 == 0 else 3)}[column]
        print('%s|%s' % (oid, value))
print('1.3.6.1.2.1.4.23.0|65|0')
EOF
chmod -R a+rX "$work"
chown -R nobody:nogroup "$work/cache"
ip netns exec "$ns" snmpsimd --data-dir="$work/data" --cache-dir="$work/cache" \
  --agent-udpv4-endpoint=127.0.0.1:161 --process-user=nobody --process-group=nogroup \
  --logging-method=null > "$work/snmpsim.log" 2>&1 &
agent_pid=$!
export SNMP_PERSISTENT_DIR=$work/snmp SNMPCONFPATH=/nonexistent
for _ in $(seq 1 300); do
  ip netns exec "$ns" snmpget -v2c -c public -t 1 -r 0 127.0.0.1 1.3.6.1.2.1.1.1.0 \
    > /dev/null 2>&1 && break
  sleep 0.2
done

"$here/scripts/make-program-folder.sh" "$work/program" "$build/collector/VexaArpSrv" \
  "$build/cli/vexa-arp" > /dev/null
sqlite3 "$work/program/VexaArp.mdb" \
  "UPDATE Settings_General SET GetComm = 'public', TimeOut = 5, Retries = 2, DebugMode = 0"

# run NAME COMMAND...: times RUNS runs, prints each and the median.
run() {
  local name=$1
  shift
  local times=() t start end
  for r in $(seq 1 "$runs"); do
    start=$(date +%s.%N)
    "$@" > "$work/out" 2> "$work/err" || true
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    printf '%s run %d: %.3f s, %s; %s\n' "$name" "$r" "$t" "$(grep -c . "$work/out" || true) lines" \
      "$(tail -1 "$work/err")"
    times+=("$t")
  done
  t=$(printf '%s\n' "${times[@]}" | median)
  printf '%-26s median %.3f s, %.0f rows/s\n' "$name:" "$t" "$(echo "$rows / $t" | bc -l)"
  echo "$t" > "$work/median-$name"
}

echo "== $rows rows, $runs runs each"
run "vexa-arp walk" ip netns exec "$ns" "$work/program/vexa-arp" walk 127.0.0.1
echo "   its summary: $(ip netns exec "$ns" "$work/program/vexa-arp" walk 127.0.0.1 2>&1 > /dev/null)"
run "snmpwalk -v2c" ip netns exec "$ns" snmpwalk -v2c -c public -On -t 5 127.0.0.1 \
  1.3.6.1.2.1.4.22.1
run "snmpbulkwalk -v2c" ip netns exec "$ns" snmpbulkwalk -v2c -c public -On -t 5 127.0.0.1 \
  1.3.6.1.2.1.4.22.1
ours=$(cat "$work/median-vexa-arp walk")
for other in "snmpwalk -v2c" "snmpbulkwalk -v2c"; do
  printf 'time %s / vexa-arp walk: %.2f\n' "$other" "$(echo "$(cat "$work/median-$other") / $ours" | bc -l)"
done
