#!/usr/bin/env bash
# hold_as_root.sh KIND NODE COMMAND [ARG...], inside a fake tree's namespace: on a private /run
# with an empty lock folder, a root process holds NODE as KIND says; once that shows, prints
# "holder PID" on a line of its own, runs COMMAND and ends the holder. KIND: terminal (NODE is its
# controlling terminal), flock, posix (fcntl), hidden-flock (flock, /proc hidepid=2), lock-file
# (/run/lock/LCK..<name> names a sleep that holds nothing), binary-lock-file, stale-lock-file.
set -u
kind=$1 node=$2
shift 2
lock_file=/run/lock/LCK..${node##*/}
mount -t tmpfs none /run && mkdir -p /run/lock || exit 125

# Waits (five seconds at most) until the command given succeeds.
wait_until() {
  for _ in $(seq 500); do "$@" && return; sleep 0.01; done
  echo "hold_as_root: $kind holder did not start" >&2
  exit 125
}
has_lock() { grep -q " $1 [0-9a-f]*:[0-9a-f]*:" /proc/locks; }
has_terminal() { [ "$(cut -d' ' -f7 "/proc/$1/stat" 2>/dev/null)" != 0 ] && runs "$1"; }
runs() { [ "$(cat "/proc/$1/comm" 2>/dev/null)" = sleep ]; }

case $kind in
  terminal) setsid -c sleep 300 <"$node" & ;;
  *flock) flock "$node" sleep 300 </dev/null & ;;
  posix)
    perl -e 'use Fcntl; open(my $f, "+<", $ARGV[0]) or die "$!";
      my $lock = pack("s s x4 q q i x4", F_WRLCK, 0, 0, 0, 0);
      fcntl($f, F_SETLK, $lock) or die "$!"; sleep 300' "$node" </dev/null &
    ;;
  *lock-file) sleep 300 </dev/null & ;;
  *) echo "hold_as_root: unknown kind $kind" >&2 && exit 2 ;;
esac
holder=$!
case $kind in
  terminal) wait_until has_terminal "$holder" ;;
  *flock | posix) wait_until has_lock "$holder" ;;
  stale-lock-file) kill "$holder" && wait "$holder" ;;
  *) wait_until runs "$holder" ;;
esac
[ "$kind" != hidden-flock ] || mount -o remount,hidepid=2 /proc || exit 125
if [ "$kind" = binary-lock-file ]; then
  perl -e 'print pack("l", $ARGV[0])' "$holder" >"$lock_file"
elif [ "${kind%lock-file}" != "$kind" ]; then
  printf '%10d\n' "$holder" >"$lock_file"
fi
echo "holder $holder"
"$@"
status=$?
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
exit "$status"
