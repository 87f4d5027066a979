#!/usr/bin/env bash
# Runs the machine's own udev over rules files for one real device, without changing the machine:
# in a private mount namespace, empty tmpfs folders stand for /etc/udev/rules.d, /run and /dev
# (holding /dev/null and the device's node alone), and `udevadm test` there prints its log.
#
#   udev_rule_check.sh SYSFS_DEVICE RULES_FILE...
#
# Exits with udevadm's status, or 125 with the reason on stderr when udevadm, the namespace or
# the mounts are not available.
set -u

fail_setup() {
  echo "udev_rule_check: $*" >&2
  exit 125
}

if [ "${1:-}" = "--inside" ]; then
  shift
  device=$1
  shift
  numbers=$(cat "$device/dev") || fail_setup "$device has no device number"
  mount -t tmpfs none /etc/udev/rules.d || fail_setup "cannot mount over /etc/udev/rules.d"
  cp "$@" /etc/udev/rules.d/ || fail_setup "cannot copy the rules"
  mount -t tmpfs none /run || fail_setup "cannot mount over /run"
  mount -t tmpfs none /dev || fail_setup "cannot mount over /dev"
  mknod -m 666 /dev/null c 1 3 || fail_setup "cannot make /dev/null"
  mknod -m 600 "/dev/$(basename "$device")" c "${numbers%%:*}" "${numbers#*:}" ||
    fail_setup "cannot make the node of $device"
  exec udevadm test --action=add "$device" 2>&1
fi

[ $# -ge 2 ] || fail_setup "usage: udev_rule_check.sh SYSFS_DEVICE RULES_FILE..."
command -v udevadm >/dev/null || fail_setup "udevadm is not installed (Debian package udev)"
[ -d /etc/udev/rules.d ] || fail_setup "/etc/udev/rules.d is missing"
if ! reason=$(unshare --mount --propagation private -- true 2>&1); then
  fail_setup "cannot create a private mount namespace: $reason"
fi
exec unshare --mount --propagation private -- bash "${BASH_SOURCE[0]}" --inside "$@"
