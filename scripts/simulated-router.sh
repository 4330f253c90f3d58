# Shell functions for scripts that need simulated routers (snmpsim serving a
# generated ARP table on port 161 of a loopback address). Source this file;
# the caller keeps the pids in its array `pids` and kills them when it ends.
#
#   start_simulated_router DIR ADDRESS ROWS FIRST_IP
#   wait_for_agent ADDRESS

_simulated_router_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

start_simulated_router() {
  local dir=$1 address=$2 rows=$3 first=$4
  mkdir -p "$dir/data" "$dir/cache"
  "$_simulated_router_scripts/arp-table-snmprec.py" "$rows" "$first" > "$dir/data/public.snmprec"
  # snmpsimd binds as root and then runs as nobody, who must read the data
  # and write the cache.
  chmod 755 "$dir"
  chmod -R a+rX "$dir/data"
  chmod 777 "$dir/cache"
  snmpsimd --data-dir="$dir/data" --cache-dir="$dir/cache" --logging-method=null \
    --agent-udpv4-endpoint="$address:161" --process-user=nobody --process-group=nogroup &
  pids+=($!)
}

# Waits (at most 30 s) until the agent at ADDRESS answers.
# snmpget keeps its state in a folder of its own, never the machine's
# /var/lib/snmp.
wait_for_agent() {
  local _ state
  state=$(mktemp -d)
  for _ in $(seq 1 150); do
    if SNMP_PERSISTENT_DIR=$state snmpget -v2c -c public -t 1 -r 0 "$1" 1.3.6.1.2.1.1.1.0 \
      > /dev/null 2>&1; then
      rm -rf "$state"
      return 0
    fi
    sleep 0.2
  done
  rm -rf "$state"
  echo "agent $1 does not answer" >&2
  return 1
}
