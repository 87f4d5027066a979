#!/usr/bin/env bash
# Runs a command with a fake tree's sys/ and dev/ bound over /sys and /dev, in a private mount
# namespace, so that the real binary lists the fake tree's ports. Needs root. A tree with
# lib/modules/ stands for /lib/modules too (over the folder where there is one, else through a
# read-only overlay of the folder that /lib is).
#
#   fake_root_namespace.sh [--host-proc] [--hold NODE]... [--hold-as NAME=MAJOR:MINOR]...
#                          [--bind-node REAL=NODE]... FAKE_ROOT COMMAND [ARG...]
#
# By default the command also gets a private PID namespace with its own /proc: only processes
# started inside are seen, so holders elsewhere on the machine (other tests included) do not
# turn a fake port "In use". --host-proc keeps the machine's /proc instead.
# --hold NODE starts a process inside the namespace that holds NODE (e.g. /dev/ttyUSB0) open on
# its standard input, waits until /proc shows it, and ends it after COMMAND.
# --hold-as NAME=MAJOR:MINOR does the same in a mount namespace of the holder's own, as a
# container would: a tmpfs over its /dev, and there a character device /dev/NAME with those
# numbers.
# --bind-node REAL=NODE binds the real node REAL (such as a pseudo-terminal /dev/pts/3) over the
# fake tree's NODE (such as /dev/ttyS0), so that the fake port is a real terminal.
# When FAKE_ROOT holds run/, it stands for /run too; otherwise the machine's /run/udev, if any,
# is hidden, so that the tool never waits for a udev that does not know the fake devices.
# Nothing is written into FAKE_ROOT.
# Exits with COMMAND's status, or 125 with the reason on stderr when the namespace or the bind
# mounts are not permitted here.
set -u

fail_setup() {
  echo "fake_root_namespace: $*" >&2
  exit 125
}

host_proc=0
inside=0
holds=()
renamed=()
bound=()
while [ $# -gt 0 ]; do
  case "$1" in
    --host-proc) host_proc=1; shift ;;
    --hold) [ $# -ge 2 ] || fail_setup "--hold needs a node"; holds+=("$2"); shift 2 ;;
    --hold-as) [ $# -ge 2 ] || fail_setup "--hold-as needs NAME=MAJOR:MINOR"; renamed+=("$2"); shift 2 ;;
    --bind-node) [ $# -ge 2 ] || fail_setup "--bind-node needs REAL=NODE"; bound+=("$2"); shift 2 ;;
    --inside) inside=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || fail_setup "usage: fake_root_namespace.sh [--host-proc] [--hold NODE]... FAKE_ROOT COMMAND [ARG...]"
root=$1
shift

# Waits until process $1 shows $2 as its standard input, so the holder is visible before the
# command scans /proc.
wait_for_holder() {
  local pid=$1 node=$2 tries=0
  until [ "$(readlink "/proc/$pid/fd/0" 2>&3)" = "$node" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 500 ] || fail_setup "holder of $node did not start"
    sleep 0.01
  done
}

if [ "$inside" -eq 1 ]; then
  # The real /dev/null, kept open: once the fake dev/ is bound, /dev/null would be a new file in it.
  exec 3<>/dev/null
  for binding in "${bound[@]+"${bound[@]}"}"; do
    mount --bind "${binding%%=*}" "$root${binding#*=}" || fail_setup "cannot bind $binding"
  done
  mount --bind "$root/sys" /sys || fail_setup "cannot bind $root/sys over /sys"
  # Recursive, so that the nodes bound above come along.
  mount --rbind "$root/dev" /dev || fail_setup "cannot bind $root/dev over /dev"
  if [ -d "$root/run" ]; then
    mount --bind "$root/run" /run || fail_setup "cannot bind $root/run over /run"
  elif [ -d /run/udev ]; then
    mount -t tmpfs none /run/udev || fail_setup "cannot hide /run/udev"
  fi
  if [ -d "$root/lib/modules" ]; then
    if [ -d /lib/modules ]; then
      mount --bind "$root/lib/modules" /lib/modules || fail_setup "cannot bind over /lib/modules"
    else
      lib=$(readlink -f /lib)
      mount -t overlay overlay -o "ro,lowerdir=$root/lib:$lib" "$lib" ||
        fail_setup "cannot lay $root/lib over $lib"
    fi
  fi
  holder_pids=()
  for node in "${holds[@]+"${holds[@]}"}"; do
    sleep 300 <"$node" 3>&- &
    holder_pids+=($!)
    wait_for_holder "$!" "$node"
  done
  for holding in "${renamed[@]+"${renamed[@]}"}"; do
    name=${holding%%=*} numbers=${holding#*=}
    unshare --mount --propagation private sh -c \
      'mount -t tmpfs none /dev && mknod "/dev/$1" c "$2" "$3" && exec sleep 300 <"/dev/$1"' \
      sh "$name" "${numbers%%:*}" "${numbers#*:}" <&3 3>&- &
    holder_pids+=($!)
    wait_for_holder "$!" "/dev/$name"
  done
  "$@" 3>&-
  status=$?
  if [ ${#holder_pids[@]} -gt 0 ]; then
    kill "${holder_pids[@]}" 2>&3
    wait "${holder_pids[@]}" 2>&3
  fi
  exit "$status"
fi

[ -d "$root/sys" ] && [ -d "$root/dev" ] || fail_setup "$root must hold sys/ and dev/"
flags=(--mount --propagation private)
[ "$host_proc" -eq 1 ] || flags+=(--pid --fork --mount-proc)
if ! reason=$(unshare "${flags[@]}" -- true 2>&1); then
  fail_setup "cannot create a private namespace (unshare ${flags[*]}): $reason"
fi
hold_args=()
for node in "${holds[@]+"${holds[@]}"}"; do
  hold_args+=(--hold "$node")
done
for holding in "${renamed[@]+"${renamed[@]}"}"; do
  hold_args+=(--hold-as "$holding")
done
for binding in "${bound[@]+"${bound[@]}"}"; do
  hold_args+=(--bind-node "$binding")
done
exec unshare "${flags[@]}" -- bash "${BASH_SOURCE[0]}" --inside "${hold_args[@]+"${hold_args[@]}"}" -- "$root" "$@"
