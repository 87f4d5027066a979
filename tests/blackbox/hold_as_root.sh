#!/usr/bin/env bash
# Run inside a fake tree's namespace (fake_root_namespace.sh): starts one process, as root, that
# holds NODE the way KIND says, waits until that shows, prints "holder PID" (empty PID for none)
# on a line of its own, runs COMMAND, then ends the holder. /run becomes a private tmpfs that
# holds an empty lock folder.
#
#   hold_as_root.sh KIND NODE COMMAND [ARG...]
#
# KIND: terminal      NODE (a real terminal) is the controlling terminal of a process that
#                     opened it
#       flock         flock(1) holds a lock on NODE while it runs sleep
#       posix         perl holds an fcntl write lock on NODE
#       hidden-flock  flock, with /proc remounted hidepid=2
#       lock-file     /run/lock/LCK..<name> holds, in ASCII, the pid of a sleep that holds nothing
#       binary-lock-file  the same as a binary int
#       stale-lock-file   the same, with a pid that has gone
#       none          nothing
set -u
[ $# -ge 3 ] || { echo "usage: hold_as_root.sh KIND NODE COMMAND [ARG...]" >&2; exit 2; }
kind=$1 node=$2
shift 2
lock_file=/run/lock/LCK..${node##*/}
mount -t tmpfs none /run && mkdir -p /run/lock || exit 125

# Waits (five seconds at most) until `test` succeeds.
wait_until() {
  local tries=0
  until "$@"; do
    tries=$((tries + 1))
    [ "$tries" -le 500 ] || { echo "hold_as_root: $kind holder did not start" >&2; exit 125; }
    sleep 0.01
  done
}
has_lock() { grep -q " $1 [0-9a-f]*:[0-9a-f]*:" /proc/locks; }
runs() { [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "$2" ]; }
has_terminal() { [ "$(cut -d' ' -f7 "/proc/$1/stat" 2>/dev/null)" != 0 ] && runs "$1" sleep; }

holder=
case $kind in
  terminal)
    setsid -c sleep 300 <"$node" &
    holder=$!
    wait_until has_terminal "$holder"
    ;;
  flock | hidden-flock)
    flock "$node" sleep 300 </dev/null &
    holder=$!
    wait_until has_lock "$holder"
    [ "$kind" = flock ] || mount -o remount,hidepid=2 /proc || exit 125
    ;;
  posix)
    perl -e 'use Fcntl; open(my $f, "+<", $ARGV[0]) or die "$!";
      my $lock = pack("s s x4 q q i x4", F_WRLCK, 0, 0, 0, 0);
      fcntl($f, F_SETLK, $lock) or die "$!"; sleep 300' "$node" </dev/null &
    holder=$!
    wait_until has_lock "$holder"
    ;;
  lock-file | binary-lock-file)
    sleep 300 </dev/null &
    holder=$!
    wait_until runs "$holder" sleep
    if [ "$kind" = lock-file ]; then
      printf '%10d\n' "$holder" >"$lock_file"
    else
      perl -e 'print pack("l", $ARGV[0])' "$holder" >"$lock_file"
    fi
    ;;
  stale-lock-file)
    true </dev/null &
    holder=$!
    wait "$holder"
    printf '%10d\n' "$holder" >"$lock_file"
    ;;
  none) ;;
  *)
    echo "hold_as_root: unknown kind $kind" >&2
    exit 2
    ;;
esac
echo "holder $holder"
"$@"
status=$?
if [ -n "$holder" ]; then
  kill "$holder" 2>/dev/null
  wait "$holder" 2>/dev/null
fi
exit "$status"
