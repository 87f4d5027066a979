#!/usr/bin/env bash
# A process holds a file open on a FUSE mount whose daemon is stopped, so that any stat of that
# file would hang. The listing must still end at once: the holder scan settles such descriptors
# by their link text alone. Runs in a private mount namespace, with the captured tree as /sys
# and /dev and the machine's /proc, so that the scan sees the holder.
#   stopped_fuse_test.sh TTYENUM_BINARY NAMESPACE_SCRIPT FIXTURE_TAR_GZ
# Exits 77 (skipped) with the reason where FUSE, bindfs or namespaces are not available, unless
# CI is set: there the test must run.
set -uo pipefail
binary=$1 namespace_script=$2 fixture=$3

skip() {
  if [ -n "${CI:-}" ]; then
    echo "FAIL: cannot run under CI: $*"
    exit 1
  fi
  echo "SKIP: $*"
  exit 77
}

if [ "${4:-}" != --inside ]; then
  command -v bindfs >/dev/null || skip "bindfs is not installed"
  [ -c /dev/fuse ] || skip "/dev/fuse is missing"
  reason=$(unshare --mount --propagation private true 2>&1) || skip "no mount namespace: $reason"
  exec unshare --mount --propagation private bash "$0" "$binary" "$namespace_script" "$fixture" --inside
fi

work=$(mktemp -d)
daemon='' holder=''
cleanup() {
  [ -n "$daemon" ] && kill -CONT "$daemon" 2>/dev/null
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  umount -l "$work/mnt" 2>/dev/null
  [ -n "$daemon" ] && kill "$daemon" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/root" "$work/files" "$work/mnt"
tar -xzf "$fixture" -C "$work/root" --strip-components=1
echo data >"$work/files/held"

bindfs -f -o attr_timeout=0,entry_timeout=0 "$work/files" "$work/mnt" 2>"$work/bindfs.err" &
daemon=$!
for _ in $(seq 100); do
  mountpoint -q "$work/mnt" && break
  sleep 0.05
done
mountpoint -q "$work/mnt" || skip "bindfs could not mount: $(cat "$work/bindfs.err")"
sleep 300 <"$work/mnt/held" &
holder=$!
until [ "$(readlink "/proc/$holder/fd/0")" = "$work/mnt/held" ]; do sleep 0.01; done
kill -STOP "$daemon"
# Every thread of the daemon must have stopped: one still running could take the request, and a
# request taken into user space can no longer be interrupted, by timeout or anything else.
until ! grep -qv '^[^)]*) [tT] ' /proc/"$daemon"/task/*/stat; do sleep 0.01; done

# Without this the test would prove nothing: a stat of the held file must hang now. The probe is
# left hanging, never killed; the cleanup wakes the daemon, and with it the probe.
stat -L "/proc/$holder/fd/0" >/dev/null 2>&1 &
probe=$!
sleep 1
kill -0 "$probe" 2>/dev/null || { echo "FAIL: the stopped FUSE daemon did not make stat hang"; exit 1; }

status=0
timeout 2 bash "$namespace_script" --host-proc "$work/root" "$binary" --format='%c %s' \
  --vid=0403 >"$work/out" 2>"$work/err" || status=$?
[ "$status" -ne 125 ] || skip "$(cat "$work/err")"
[ "$status" -ne 124 ] || { echo "FAIL: the listing did not end within 2 seconds"; exit 1; }
expected='/dev/ttyUSB0 free
/dev/ttyUSB1 free
Found serial ports: 2'
if [ "$status" -ne 0 ] || [ "$(cat "$work/out")" != "$expected" ]; then
  echo "FAIL: status $status, listing:"
  cat "$work/out" "$work/err"
  exit 1
fi
echo "listing ended at once beside a holder on a stopped FUSE mount"
