#!/usr/bin/env bash
# Times a full ttyenum listing against fuser on the same port nodes, and against the floor (a
# small program that lists /proc and reads every descriptor link once), while many processes
# hold open descriptors. Each load of P sleeping processes with FDS descriptors each runs in a
# private PID namespace with its own /proc, so that other jobs on the machine do not change the
# size of /proc from run to run. For trees with 1, 4 and 16 accepted ports (built from the
# captured Debian 12 sysfs tree, bound over /sys and /dev in a private mount namespace), the
# three run interleaved, the order rotated every round; /dev/ttyUSB0 is held open by a process
# whose pid comes last in text order, so that no scan can stop early. Prints the median wall
# times, the ratios and the peak RSS of each. The same listing also runs as an ordinary user
# (nobody, through setpriv), to whom every process of the load is another user's: each
# descriptor folder is refused, and the evidence every user may read is looked at instead.
# Needs root (namespaces), fuser (psmisc), setpriv, cc and /usr/bin/time. Not a test: nothing
# is asserted.
#
#   bench/holders_bench.sh [TTYENUM_BINARY]       (default: build/ttyenum)
# Environment: LOADS="100 1000 4000", ROUNDS=7, FDS=20.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
namespace_script=$source_dir/tests/blackbox/fake_root_namespace.sh
fixture=$source_dir/tests/fixtures/qemu-debian12-6.1.tar.gz
trees=(one four sixteen)
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

nodes_of() {
  case "$1" in
    one) printf "%s\n" /dev/ttyUSB0 ;;
    four) printf "%s\n" /dev/ttyS0 /dev/ttyS4 /dev/ttyUSB0 /dev/ttyACM0 ;;
    sixteen) for i in $(seq 0 15); do echo /dev/ttyUSB$i; done ;;
  esac
}

# One timed call; sees the locals of measure.
run_tool() {
  case "$1" in
    ttyenum) "$binary" >/dev/null ;;
    nobody) setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$binary" >/dev/null ;;
    fuser) fuser "${nodes[@]}" >/dev/null 2>&1 || true ;;
    floor) "$floor" ;;
  esac
}

# Inside the tree's mount namespace: starts the holder with the pid that sorts last, then
# ROUNDS rounds of the three tools. Prints "tool microseconds" lines, then "rss tool kB".
measure() {
  local binary=$1 floor=$2 rounds=$3
  shift 3
  local nodes=("$@")
  # No pid of the load reaches 9999, and "9999" sorts after every shorter or smaller name.
  echo 9998 >/proc/sys/kernel/ns_last_pid
  sleep 3600 </dev/ttyUSB0 &
  local holder=$!
  until [ "$(readlink "/proc/$holder/fd/0" 2>/dev/null)" = /dev/ttyUSB0 ]; do sleep 0.01; done
  interleave "$rounds" run_tool ttyenum fuser floor nobody
  echo "rss ttyenum $(/usr/bin/time -f %M "$binary" 2>&1 >/dev/null | tail -n 1)"
  echo "rss fuser $(/usr/bin/time -f %M fuser "${nodes[@]}" 2>&1 >/dev/null | tail -n 1)"
  echo "rss floor $(/usr/bin/time -f %M "$floor" 2>&1 >/dev/null | tail -n 1)"
  kill "$holder"
  wait "$holder" 2>/dev/null || true
}

# Inside the load's PID namespace: COUNT sleeping processes, each with FDS descriptors (the
# three standard streams on /dev/null, the rest on files of their own folder), then every tree.
run_load() {
  local work=$1 count=$2 fds=$3 binary=$4 floor=$5 rounds=$6
  mkdir -p "$work/load"
  local i
  for ((i = 0; i < fds - 3; i++)); do
    : >"$work/load/file$i"
  done
  (
    cd "$work/load"
    for ((i = 0; i < fds - 3; i++)); do
      eval "exec $((i + 3))<file$i"
    done
    exec >/dev/null 2>&1 </dev/null
    for ((i = 0; i < count; i++)); do
      sleep 3600 &
    done
    wait
  ) &
  local load=$!
  until [ "$(ls /proc | grep -c '^[0-9]')" -gt "$count" ]; do sleep 0.1; done
  local tree
  for tree in "${trees[@]}"; do
    # shellcheck disable=SC2046
    bash "$namespace_script" --host-proc "$work/$tree" \
      bash "$0" --measure "$binary" "$floor" "$rounds" $(nodes_of "$tree") | sed "s/^/$tree /"
  done
  pkill -P "$load" sleep || true
  wait "$load" 2>/dev/null || true
}

case "${1:-}" in
  --measure) shift; measure "$@"; exit 0 ;;
  --load) shift; run_load "$@"; exit 0 ;;
esac

binary=$(realpath "${1:-$source_dir/build/ttyenum}")
loads=${LOADS:-100 1000 4000}
rounds=${ROUNDS:-7}
fds=${FDS:-20}
[ -x "$binary" ] || { echo "no ttyenum binary at $binary; build it first" >&2; exit 1; }
for tool in fuser /usr/bin/time unshare setpriv cc; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install psmisc time util-linux gcc)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# The floor: list /proc, open each descriptor folder, read each link. No sorting, no matching.
cat >"$work/floor.c" <<'EOF'
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
int main(void) {
  char target[1024];
  DIR* proc = opendir("/proc");
  if (!proc) return 1;
  for (struct dirent* p; (p = readdir(proc));) {
    if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
    char path[64];
    int n = 0;
    for (const char* c = p->d_name; *c; ++c) path[n++] = *c;
    path[n++] = '/', path[n++] = 'f', path[n++] = 'd', path[n] = 0;
    int fd = openat(dirfd(proc), path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    DIR* fds = fdopendir(fd);
    for (struct dirent* d; fds && (d = readdir(fds));)
      if (d->d_name[0] != '.') (void)readlinkat(fd, d->d_name, target, sizeof target - 1);
    if (fds) closedir(fds);
  }
  closedir(proc);
  return 0;
}
EOF
cc -O2 -o "$work/floor" "$work/floor.c"

# The trees: the captured one with only the nodes named in dev/. The sixteen USB ports share
# the first adapter's sysfs entries through class links of their own.
for tree in "${trees[@]}"; do
  mkdir -p "$work/$tree"
  tar -xzf "$fixture" -C "$work/$tree" --strip-components=1
  find "$work/$tree/dev" -mindepth 1 -maxdepth 1 -name 'tty*' -delete
  mknod -m 666 "$work/$tree/dev/null" c 1 3  # where the outputs go, as on a real /dev
  for node in $(nodes_of "$tree"); do
    : >"$work/$tree/dev/${node#/dev/}"
    class=$work/$tree/sys/class/tty/${node#/dev/}
    [ -e "$class" ] || [ -L "$class" ] || ln -s "$(readlink "$work/$tree/sys/class/tty/ttyUSB0")" "$class"
  done
done

# times TREE TOOL and rss TREE TOOL: the measurements of one tree's run.
times() { awk -v t="$1" -v k="$2" '$1 == t && $2 == k { print $3 }' "$work/times"; }
rss() { awk -v t="$1" -v k="$2" '$1 == t && $2 == "rss" && $3 == k { print $4 }' "$work/times"; }

printf '%-9s %-5s %10s %10s %10s %8s %8s %8s %8s %8s %10s\n' processes ports "ttyenum ms" "fuser ms" \
  "floor ms" "/fuser" "/floor" "RSS kB" "fuser kB" "floor kB" "nobody ms"
for load in $loads; do
  unshare --pid --fork --mount-proc bash "$0" --load "$work" "$load" "$fds" "$binary" \
    "$work/floor" "$rounds" >"$work/times"
  for tree in "${trees[@]}"; do
    tool_ms=$(times "$tree" ttyenum | median_ms)
    fuser_ms=$(times "$tree" fuser | median_ms)
    floor_ms=$(times "$tree" floor | median_ms)
    nobody_ms=$(times "$tree" nobody | median_ms)
    printf '%-9s %-5s %10s %10s %10s %8s %8s %8s %8s %8s %10s\n' "$load" "$(nodes_of "$tree" | wc -l)" \
      "$tool_ms" "$fuser_ms" "$floor_ms" "$(ratio "$tool_ms" "$fuser_ms")" \
      "$(ratio "$tool_ms" "$floor_ms")" "$(rss "$tree" ttyenum)" "$(rss "$tree" fuser)" \
      "$(rss "$tree" floor)" "$nobody_ms"
  done
done
echo "($rounds interleaved rounds each, medians of wall time; $fds descriptors per sleeping" \
  "process; /dev/ttyUSB0 held by one more process, last in text order; each load in its own" \
  "PID namespace; \"nobody ms\" is the same listing as nobody through setpriv, whose own" \
  "start is included)"
