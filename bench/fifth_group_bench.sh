#!/usr/bin/env bash
# Times the default listing of two ttyenum builds, and a floor, on a tree shaped like a busy PC:
# 64 virtual consoles, 32 placeholder UARTs (legacy serial8250) and 4 real ports (a PNP UART, two
# FTDI adapters, a CDC ACM gadget), built from the captured Debian 12 sysfs tree and bound over
# /sys and /dev in a private mount namespace (with a PID namespace of its own, so that /proc is
# small and steady). Every entry of /sys/class/tty beyond the four name patterns, the consoles
# here, is what the group after the patterns judges; this measures what that costs a run that
# finds none of them. The three run interleaved, the order rotated every round; prints the
# median wall times and the ratios, and checks that both builds printed the same listing.
# The floor is a small C program that makes the file-system calls any such listing must make:
# it lists /dev and /sys/class/tty, reads every tty's device/subsystem link and every descriptor
# link under /proc once. Needs root (namespaces) and cc. Not a test: nothing is asserted.
#
#   bench/fifth_group_bench.sh BEFORE_BINARY [AFTER_BINARY]   (default after: build/ttyenum)
# Environment: ROUNDS=31.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
namespace_script=$source_dir/tests/blackbox/fake_root_namespace.sh
fixture=$source_dir/tests/fixtures/qemu-debian12-6.1.tar.gz
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

# Inside the tree's namespace: ROUNDS rounds of the three; "tool microseconds" lines.
measure() {
  local before=$1 after=$2 floor=$3 rounds=$4 work=$5
  "$before" >"$work/before.out"
  "$after" >"$work/after.out"
  interleave "$rounds" run_tool before after floor
}

# One timed call; sees the locals of measure.
run_tool() {
  case "$1" in
    before) "$before" >/dev/null ;;
    after) "$after" >/dev/null ;;
    floor) "$floor" ;;
  esac
}

if [ "${1:-}" = --measure ]; then
  shift
  measure "$@"
  exit 0
fi

before_and_after "$@"
rounds=${ROUNDS:-31}
command -v cc >/dev/null || { echo "cc is missing (apt-get install gcc)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

cat >"$work/floor.c" <<'EOF'
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
static void list(const char* folder) {
  DIR* d = opendir(folder);
  if (!d) return;
  while (readdir(d)) {
  }
  closedir(d);
}
int main(void) {
  char path[512], target[1024];
  list("/dev");
  DIR* ttys = opendir("/sys/class/tty");
  if (!ttys) return 1;
  for (struct dirent* t; (t = readdir(ttys));) {
    if (t->d_name[0] == '.') continue;
    snprintf(path, sizeof path, "/sys/class/tty/%s/device/subsystem", t->d_name);
    (void)readlink(path, target, sizeof target);
  }
  closedir(ttys);
  DIR* proc = opendir("/proc");
  if (!proc) return 1;
  for (struct dirent* p; (p = readdir(proc));) {
    if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
    snprintf(path, sizeof path, "%s/fd", p->d_name);
    int fd = openat(dirfd(proc), path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    DIR* fds = fdopendir(fd);
    for (struct dirent* d; fds && (d = readdir(fds));)
      if (d->d_name[0] != '.') (void)readlinkat(fd, d->d_name, target, sizeof target);
    if (fds) closedir(fds);
  }
  closedir(proc);
  return 0;
}
EOF
cc -O2 -o "$work/floor" "$work/floor.c"

# The tree: ttyS0 (PNP), ttyUSB0, ttyUSB1 and ttyACM0 keep their hardware; ttyS1 to ttyS32 are
# placeholders of the serial8250 device; tty0 to tty63 are virtual consoles, with no device.
tree=$work/tree
mkdir -p "$tree"
tar -xzf "$fixture" -C "$tree" --strip-components=1
find "$tree/dev" -mindepth 1 -maxdepth 1 -name 'tty*' -delete
placeholders=$tree/sys/devices/platform/serial8250/tty
for node in ttyS0 ttyUSB0 ttyUSB1 ttyACM0; do
  : >"$tree/dev/$node"
done
mknod -m 666 "$tree/dev/null" c 1 3  # the listings are thrown away there, as on a real /dev
for i in $(seq 1 32); do
  [ -d "$placeholders/ttyS$i" ] || cp -a "$placeholders/ttyS2" "$placeholders/ttyS$i"
  ln -sfn "../../devices/platform/serial8250/tty/ttyS$i" "$tree/sys/class/tty/ttyS$i"
  : >"$tree/dev/ttyS$i"
done
for i in $(seq 0 63); do
  console=$tree/sys/devices/virtual/tty/tty$i
  mkdir -p "$console"
  echo "4:$i" >"$console/dev"
  printf 'MAJOR=4\nMINOR=%s\nDEVNAME=tty%s\n' "$i" "$i" >"$console/uevent"
  ln -s ../../../../class/tty "$console/subsystem"
  ln -s "../../devices/virtual/tty/tty$i" "$tree/sys/class/tty/tty$i"
  : >"$tree/dev/tty$i"
done

bash "$namespace_script" "$tree" bash "$0" --measure "$before" "$after" "$work/floor" "$rounds" \
  "$work" >"$work/times"

times() { awk -v k="$1" '$1 == k { print $2 }' "$work/times"; }

before_ms=$(times before | median_ms 2)
after_ms=$(times after | median_ms 2)
floor_ms=$(times floor | median_ms 2)
printf '%-32s %10s %10s %10s %14s %13s\n' tree "before ms" "after ms" "floor ms" "after/before" \
  "after/floor"
printf '%-32s %10s %10s %10s %14s %13s\n' "64 consoles, 32 placeholders, 4" "$before_ms" \
  "$after_ms" "$floor_ms" "$(ratio "$after_ms" "$before_ms")" "$(ratio "$after_ms" "$floor_ms")"
if cmp -s "$work/before.out" "$work/after.out"; then
  echo "listings: identical ($(tail -n 1 "$work/after.out"))"
else
  echo "listings: DIFFERENT"
  diff "$work/before.out" "$work/after.out" | head -n 20
fi
echo "($rounds interleaved rounds, medians of wall time, in a private mount and PID namespace)"
