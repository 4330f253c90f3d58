#!/usr/bin/env bash
# A real systemd for tests: /lib/systemd/systemd booted as PID 1 of its own
# PID, mount, network, UTS, IPC and cgroup namespaces, so that it cannot touch
# the machine it runs on. Inside it has
#  - fresh tmpfs mounts over /tmp, /var/tmp, /run, /var/lib/systemd, the
#    journal directory and /etc/systemd/system (units the tests write there
#    land in the tmpfs), and over a scratch directory $VEXA_HARNESS_SCRATCH
#    (outside /tmp, /home and /root; TMPDIR of commands run inside);
#  - a /dev of its own with only the basic device nodes, a read-only sysfs of
#    its network namespace (only lo), cgroup hierarchies rooted in a cgroup
#    made for it, and /proc/sys read-only (PID 1 would otherwise raise the
#    machine's fs.file-max and fs.nr_open);
#  - no generators, and a target of its own, vexa-test.target, with every
#    unit that the packaged targets pull in masked: only the D-Bus system bus
#    starts, as on a server, so that callers without root are turned away by
#    systemd itself.
#
#   systemd-harness.sh run STATE COMMAND...    boot, run COMMAND inside, shut
#                                              down; COMMAND's exit status
#   systemd-harness.sh boot STATE              boot and leave it running
#   systemd-harness.sh enter STATE COMMAND...  run COMMAND inside
#   systemd-harness.sh stop STATE              kill its PID 1 by pid, remove
#                                              its cgroups and scratch mount point
#
# STATE is a directory the harness makes for its pid and boot log (not under
# /tmp). Needs root. When systemd cannot boot this way, or the machine shows a
# change the harness must not cause, it fails and says why.
set -euo pipefail

fail() {
  echo "systemd-harness: $*" >&2
  exit 1
}

# What must stay as it is on the machine while the harness runs.
machine_snapshot() {
  cat /proc/sys/fs/file-max /proc/sys/fs/nr_open
  hostname
  sha256sum /etc/machine-id 2>/dev/null || true
  ls -A /etc/systemd/system
}

cgroup_layout() {
  local cg=/sys/fs/cgroup
  if [ "$(stat -fc %T $cg)" = cgroup2fs ]; then
    echo unified
  elif [ -d $cg/unified ] && [ "$(stat -fc %T $cg/unified)" = cgroup2fs ] && [ -d $cg/systemd ]; then
    echo hybrid
  elif [ -d $cg/systemd ]; then
    echo legacy
  else
    echo none
  fi
}

# The cgroup directories of harness $1 on the machine.
cgroup_dirs() {
  local cg=/sys/fs/cgroup
  case "$(cgroup_layout)" in
    unified) echo "$cg/$1" ;;
    hybrid) echo "$cg/systemd/$1 $cg/unified/$1" ;;
    legacy) echo "$cg/systemd/$1" ;;
  esac
}

# Runs as PID 1 of the new namespaces: makes the view described above and
# becomes systemd.
inner() {
  local scratch=$1 layout=$2
  mount --make-rprivate /
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /tmp
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /var/tmp
  mount -t tmpfs -o mode=755,nosuid,nodev tmpfs /run
  mount -t tmpfs -o mode=755 tmpfs /var/lib/systemd
  [ -d /var/log/journal ] && mount -t tmpfs -o mode=755 tmpfs /var/log/journal
  mount -t tmpfs -o mode=755 tmpfs /etc/systemd/system
  mount -t tmpfs -o mode=755 tmpfs "$scratch"
  mkdir -m 1777 "$scratch/tmp"

  # /dev: the basic nodes bound from the machine's, a pts instance of its own.
  local dev=/run/vexa-harness/dev
  mkdir -p $dev
  mount -t tmpfs -o mode=755,nosuid tmpfs $dev
  for node in null zero full random urandom tty; do
    touch $dev/$node
    mount --bind /dev/$node $dev/$node
  done
  mkdir $dev/pts $dev/shm
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts $dev/pts
  ln -s pts/ptmx $dev/ptmx
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs $dev/shm
  ln -s /proc/self/fd $dev/fd
  ln -s /proc/self/fd/0 $dev/stdin
  ln -s /proc/self/fd/1 $dev/stdout
  ln -s /proc/self/fd/2 $dev/stderr
  mount --move $dev /dev

  mount -t sysfs -o ro,nosuid,nodev,noexec sysfs /sys
  case "$layout" in
    unified)
      mount -t cgroup2 -o nosuid,nodev,noexec cgroup2 /sys/fs/cgroup
      ;;
    hybrid | legacy)
      mount -t tmpfs -o mode=755,nosuid,nodev,noexec tmpfs /sys/fs/cgroup
      mkdir /sys/fs/cgroup/systemd
      mount -t cgroup -o none,name=systemd,xattr,nosuid,nodev,noexec cgroup /sys/fs/cgroup/systemd
      if [ "$layout" = hybrid ]; then
        mkdir /sys/fs/cgroup/unified
        mount -t cgroup2 -o nosuid,nodev,noexec cgroup2 /sys/fs/cgroup/unified
      fi
      mount -o remount,ro,bind /sys/fs/cgroup
      ;;
  esac
  mount --bind /proc/sys /proc/sys
  mount -o remount,bind,ro /proc/sys

  local units=/etc/systemd/system
  cat > $units/vexa-test.target <<'EOF'
[Unit]
Description=Vexa ARP test system
Wants=dbus.socket dbus.service
EOF
  for wants in /lib/systemd/system/*.wants /lib/systemd/system/*.requires; do
    for unit in "$wants"/*; do
      [ -e "$unit" ] || [ -L "$unit" ] || continue
      case "${unit##*/}" in dbus.socket | dbus.service) continue ;; esac
      [ -e "$units/${unit##*/}" ] || ln -s /dev/null "$units/${unit##*/}"
    done
  done
  # D-Bus would start these on demand; they work on the machine's own files
  # (apt's hooks wake PackageKit up after every dpkg run).
  for unit in packagekit.service packagekit-offline-update.service; do
    [ -e "$units/$unit" ] || ln -s /dev/null "$units/$unit"
  done
  mkdir -p /run/vexa-harness/none
  exec env -i container=vexa-test \
    SYSTEMD_GENERATOR_PATH=/run/vexa-harness/none \
    SYSTEMD_ENVIRONMENT_GENERATOR_PATH=/run/vexa-harness/none \
    /lib/systemd/systemd --unit=vexa-test.target --log-target=console --log-level=info \
    --show-status=false </dev/null
}

nsenter_args() {
  local pid
  pid=$(cat "$1/pid")
  echo "-t $pid -m -p -n -u -i -C"
}

booted_pid() {
  [ -f "$1/pid" ] || fail "no harness booted in $1"
  local pid
  pid=$(cat "$1/pid")
  # The pid is ours only while it is still the same process.
  [ "$(cut -d' ' -f22 "/proc/$pid/stat" 2>/dev/null)" = "$(cat "$1/starttime")" ] ||
    fail "the harness of $1 is no longer running (boot log: $1/boot.log)"
  echo "$pid"
}

boot() {
  local state=$1 tied=${2:-0}
  [ "$(id -u)" = 0 ] || fail "needs root"
  [ -x /lib/systemd/systemd ] || fail "/lib/systemd/systemd is missing (Debian package systemd)"
  command -v unshare nsenter >/dev/null || fail "unshare and nsenter are missing (util-linux)"
  local layout
  layout=$(cgroup_layout)
  [ "$layout" != none ] || fail "no cgroup hierarchy under /sys/fs/cgroup that systemd can use"
  case "$(realpath -m "$state")" in /tmp | /tmp/* | /var/tmp/*) fail "STATE must not be under /tmp" ;; esac
  mkdir -p "$state"
  state=$(realpath "$state")
  local name=vexa-harness-$$-$RANDOM
  local scratch=/var/lib/$name
  echo "$name" > "$state/name"
  echo "$scratch" > "$state/scratch"
  machine_snapshot > "$state/machine.before"
  # A file an unconfined systemd-tmpfiles would remove from the machine's /tmp.
  local canary
  canary=$(mktemp /tmp/vexa-harness-canary.XXXXXX)
  touch -d '-60 days' "$canary"
  echo "$canary" > "$state/canary"

  mkdir "$scratch"
  local dir
  for dir in $(cgroup_dirs "$name"); do mkdir "$dir"; done
  # Bound to the life of this script in "run" (a test killed on a time-out
  # takes its systemd with it): SIGKILL to unshare when the script ends, and
  # to systemd when unshare ends. Descriptors the caller holds (a lock, a
  # pipe) are not passed on.
  local tie=()
  [ "$tied" = 1 ] && tie=(setpriv --pdeathsig KILL)
  (
    for dir in $(cgroup_dirs "$name"); do echo "$BASHPID" > "$dir/cgroup.procs"; done
    for fd in $(ls /proc/$BASHPID/fd); do
      [ "$fd" -gt 2 ] && eval "exec $fd>&-"
    done
    exec "${tie[@]}" unshare --kill-child=SIGKILL --fork --pid --mount --mount-proc --net --uts \
      --ipc --cgroup bash "$0" _inner "$scratch" "$layout"
  ) > "$state/boot.log" 2>&1 < /dev/null &
  local launcher=$!
  echo "$launcher" > "$state/launcher"

  local pid="" i
  for ((i = 0; i < 100; i++)); do
    pid=$(cat "/proc/$launcher/task/$launcher/children" 2>/dev/null | awk '{print $1}') || true
    [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = systemd ] && break
    kill -0 "$launcher" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$pid" ] || [ "$(cat "/proc/$pid/comm" 2>/dev/null)" != systemd ]; then
    stop "$state" >/dev/null 2>&1 || true
    fail "systemd did not start; boot log:
$(cat "$state/boot.log")"
  fi
  echo "$pid" > "$state/pid"
  cut -d' ' -f22 "/proc/$pid/stat" > "$state/starttime"

  local status=""
  for ((i = 0; i < 300; i++)); do
    status=$(nsenter -t "$pid" -m -p systemctl is-system-running 2>/dev/null) || true
    case "$status" in running | degraded) break ;; esac
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  case "$status" in
    running) ;;
    degraded)
      echo "systemd-harness: booted degraded; failed units:" >&2
      nsenter -t "$pid" -m -p systemctl --failed --no-legend >&2 || true
      ;;
    *)
      local log
      log=$(cat "$state/boot.log")
      stop "$state" >/dev/null 2>&1 || true
      fail "systemd did not finish booting (state: ${status:-none}); boot log:
$log"
      ;;
  esac
  check_machine "$state"
}

# Fails when the machine shows a change the harness must not cause.
check_machine() {
  local state=$1
  [ -f "$(cat "$state/canary")" ] || fail "a file of the machine's /tmp was removed while the harness ran"
  machine_snapshot > "$state/machine.now"
  diff "$state/machine.before" "$state/machine.now" >&2 ||
    fail "the machine changed while the harness ran (above: before/now)"
}

enter() {
  local state=$1
  shift
  local pid scratch
  pid=$(booted_pid "$state")
  scratch=$(cat "$state/scratch")
  nsenter -t "$pid" -m -p -n -u -i -C --wd="$PWD" \
    env TMPDIR="$scratch/tmp" VEXA_HARNESS_SCRATCH="$scratch" "$@"
}

stop() {
  local state=$1
  local pid="" launcher="" i
  [ -f "$state/pid" ] && pid=$(cat "$state/pid")
  [ -f "$state/launcher" ] && launcher=$(cat "$state/launcher")
  if [ -n "$pid" ] && [ "$(cut -d' ' -f22 "/proc/$pid/stat" 2>/dev/null)" = "$(cat "$state/starttime" 2>/dev/null)" ]; then
    kill -KILL "$pid"
  fi
  # The launcher (unshare) ends once everything in the namespace has gone.
  if [ -n "$launcher" ]; then
    for ((i = 0; i < 200; i++)); do
      kill -0 "$launcher" 2>/dev/null || break
      sleep 0.05
    done
    kill -0 "$launcher" 2>/dev/null && fail "the harness's namespaces did not end (pid $launcher)"
  fi
  local name dir failed=0
  name=$(cat "$state/name")
  for dir in $(cgroup_dirs "$name"); do
    [ -d "$dir" ] || continue
    for ((i = 0; i < 50; i++)); do
      find "$dir" -depth -type d -exec rmdir {} + 2>/dev/null || true
      [ -d "$dir" ] || break
      sleep 0.1
    done
    [ -d "$dir" ] && failed=1
  done
  [ "$failed" = 0 ] || fail "could not remove the cgroups of $name"
  local scratch
  scratch=$(cat "$state/scratch")
  [ -d "$scratch" ] && rmdir "$scratch"
  check_machine "$state"
  rm -f "$(cat "$state/canary")"
  rm -f "$state"/{pid,starttime,launcher,name,scratch,canary,machine.before,machine.now}
}

run() {
  local state=$1
  shift
  boot "$state" 1
  local status=0
  enter "$state" "$@" || status=$?
  stop "$state" || status=1
  return "$status"
}

[ $# -ge 1 ] || fail "usage: $0 run|boot|enter|stop STATE [COMMAND...]"
command=$1
shift
case "$command" in
  _inner) inner "$@" ;;
  boot) [ $# -eq 1 ] || fail "usage: $0 boot STATE"; boot "$1" ;;
  stop) [ $# -eq 1 ] || fail "usage: $0 stop STATE"; stop "$1" ;;
  enter) [ $# -ge 2 ] || fail "usage: $0 enter STATE COMMAND..."; enter "$@" ;;
  run) [ $# -ge 2 ] || fail "usage: $0 run STATE COMMAND..."; run "$@" ;;
  *) fail "unknown command $command" ;;
esac
