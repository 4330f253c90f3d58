#!/usr/bin/env bash
# One poll cycle of a ROWS-row simulated router (snmpsim on 127.0.13.10,
# port 161) through the collector's walk and merge, over SNMPv2c and then
# over SNMPv3 authPriv with the same agent: total time and the collector's
# own CPU time of each, side by side. The agent's share (snmpsim runs its
# own SNMPv3 in Python) is in the total; the collector's share of the
# cryptography is in its CPU time. Needs root (port 161).
#
#   bench/poll_cycle_v3.sh BUILD_DIR [ROWS] [AUTH PRIV]    (default 20000 SHA AES)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: poll_cycle_v3.sh BUILD_DIR [ROWS] [AUTH PRIV]}" && pwd)
rows=${2:-20000}
auth=${3:-SHA}
priv=${4:-AES}
address=127.0.13.10
work=$(mktemp -d /tmp/vexa-poll-v3-bench-XXXXXX)
chmod 755 "$work"
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# snmpsim's names of the protocols; AES-192/256 with net-snmp's key extension.
case $auth in
  SHA) sim_auth=SHA ;; SHA-224) sim_auth=SHA224 ;; SHA-256) sim_auth=SHA256 ;;
  SHA-384) sim_auth=SHA384 ;; SHA-512) sim_auth=SHA512 ;; MD5) sim_auth=MD5 ;;
  *) echo "unknown authentication protocol $auth" >&2; exit 2 ;;
esac
case $priv in
  AES) sim_priv=AES ;; AES-192) sim_priv=AES192BLMT ;; AES-256) sim_priv=AES256BLMT ;;
  DES) sim_priv=DES ;;
  *) echo "unknown privacy protocol $priv" >&2; exit 2 ;;
esac

mkdir -p "$work/agent/data" "$work/agent/cache"
"$here/../scripts/arp-table-snmprec.py" "$rows" 10.1.0.1 > "$work/agent/data/public.snmprec"
chmod -R a+rX "$work/agent"
chmod 777 "$work/agent/cache"
snmpsimd --data-dir="$work/agent/data" --cache-dir="$work/agent/cache" --logging-method=null \
  --agent-udpv4-endpoint="$address:161" --process-user=nobody --process-group=nogroup \
  --v3-engine-id=800007e580b1b2c3d4e5f6 --v3-user=vexa --v3-auth-key=vexa-auth-pass \
  --v3-auth-proto="$sim_auth" --v3-priv-key=vexa-priv-pass --v3-priv-proto="$sim_priv" &
pid=$!
source "$here/../scripts/simulated-router.sh"
# snmpsim indexes a large table before it answers: up to two minutes.
for _ in 1 2 3; do wait_for_agent "$address" 2> /dev/null && break; done
wait_for_agent "$address"

"$here/../scripts/make-program-folder.sh" "$work/program" "$build/collector/VexaArpSrv" > /dev/null
echo "== one poll of $rows rows (snmpsim), SNMPv2c against SNMPv3 $auth/$priv"
"$build/bench/collector_bench" poll "$work/program" "$address"
sqlite3 "$work/program/VexaArp.mdb" "UPDATE Settings_General SET SnmpVersion = 3,
  V3User = 'vexa', V3AuthProtocol = '$auth', V3AuthPassword = 'vexa-auth-pass',
  V3PrivProtocol = '$priv', V3PrivPassword = 'vexa-priv-pass', V3Context = 'public'"
"$build/bench/collector_bench" poll "$work/program" "$address"
