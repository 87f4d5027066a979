#!/usr/bin/env bash
# The tool never opens a serial port. Runs the real binary under strace in a private mount
# namespace over a captured sysfs tree (with a UART and a console beyond the four name patterns
# added), with one port held open by another process, and checks every file system call it made:
# no /dev/tty* node is opened, nothing is opened for writing, /dev is only listed,
# /sys/class/tty is listed once, and the listing still found and judged every port.
#   no_port_opened_test.sh TTYENUM_BINARY NAMESPACE_SCRIPT FIXTURE_TAR_GZ
# Exits 77 (skipped) with the reason where namespaces or strace are not available, unless CI is
# set: there the test must run.
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

command -v strace >/dev/null || skip "strace is not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/root"
tar -xzf "$fixture" -C "$work/root" --strip-components=1
# Beyond the four name patterns: a device-tree UART, ttyPS0, and a virtual console, tty1.
uart=$work/root/sys/devices/platform/axi/ff000000.serial
mkdir -p "$uart/tty/ttyPS0" "$work/root/sys/devices/virtual/tty/tty1"
printf 'DRIVER=xuartps\nMODALIAS=of:NserialT(null)Cxlnx,zynqmp-uart\n' >"$uart/uevent"
echo 'of:NserialT(null)Cxlnx,zynqmp-uart' >"$uart/modalias"
ln -s ../../../../bus/platform "$uart/subsystem"
ln -s ../../../../firmware/devicetree/base/axi/serial@ff000000 "$uart/of_node"
ln -s ../../../ff000000.serial "$uart/tty/ttyPS0/device"
ln -s ../../devices/platform/axi/ff000000.serial/tty/ttyPS0 "$work/root/sys/class/tty/ttyPS0"
ln -s ../../devices/virtual/tty/tty1 "$work/root/sys/class/tty/tty1"
: >"$work/root/dev/ttyPS0"
: >"$work/root/dev/tty1"

# LeakSanitizer cannot run under ptrace; a sanitizer build is traced with leak checks off.
status=0
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 bash "$namespace_script" --hold /dev/ttyUSB0 "$work/root" \
  strace -f -qq -o "$work/trace" -e trace=%file \
  "$binary" --format='%c %s' >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -eq 125 ]; then
  skip "$(cat "$work/err")"
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

expected='/dev/ttyS0 free
/dev/ttyS1 free
/dev/ttyS4 free
/dev/ttyS5 free
/dev/ttyS6 free
/dev/ttyUSB0 used
/dev/ttyUSB1 free
/dev/ttyACM0 free
/dev/ttyPS0 free
Found serial ports: 9'
[ "$status" -eq 0 ] || fail "status $status, stderr: $(cat "$work/err")"
[ "$(cat "$work/out")" = "$expected" ] || fail "unexpected listing:
$(cat "$work/out")"

# The trace lines, less the process id: 'openat(AT_FDCWD, "/path", FLAGS) = 3'.
opens=$(sed -E 's/^[0-9]+ +//' "$work/trace" | grep -E '^(open|openat|openat2|creat)\(' || true)
[ -n "$opens" ] || fail "strace recorded no open at all"

port_opens=$(grep -E '"/dev/tty' <<<"$opens")
[ -z "$port_opens" ] || fail "a port node was opened:
$port_opens"

writes=$(grep -E 'O_(WRONLY|RDWR|CREAT|TRUNC)|^creat\(' <<<"$opens")
[ -z "$writes" ] || fail "a file was opened for writing:
$writes"

# /dev and udev's /dev/serial folders are listed (glob), never entered; everything else opened is sysfs, procfs (the pid folders
# are opened relative to /proc), or the libraries and locale data that start-up reads from /etc,
# /lib and /usr.
dev_opens=$(grep -E '"/dev' <<<"$opens" | grep -vE '"/dev(/serial/by-(id|path))?", [A-Z_|]*O_DIRECTORY')
[ -z "$dev_opens" ] || fail "something under /dev was opened:
$dev_opens"
proc_relative='^openat\([0-9]+, "[0-9]+/(fd|task)", O_RDONLY\|O_CLOEXEC\|O_DIRECTORY\)'
elsewhere=$(grep -vE '"/(sys|proc|dev)(/|")|"/(etc|lib|lib64|usr)/' <<<"$opens" |
  grep -vE "$proc_relative")
[ -z "$elsewhere" ] || fail "opened outside /sys, /proc and the system's libraries:
$elsewhere"

# The calls that did the work: sysfs reads and descriptor links under /proc.
grep -qE '^readlink\("/sys/class/tty/ttyUSB0"' <(sed -E 's/^[0-9]+ +//' "$work/trace") ||
  fail "the class link of ttyUSB0 was never read"
grep -qE '^readlinkat\([0-9]+, "0", "/dev/ttyUSB0"' <(sed -E 's/^[0-9]+ +//' "$work/trace") ||
  fail "the holder's descriptor link was never read"
# One walk of /proc for all nine ports: each descriptor folder is opened once.
fd_folders=$(grep -oE '^openat\([0-9]+, "[0-9]+/fd"' <<<"$opens" | sed -E 's/.*"([0-9]+)\/fd"/\1/')
[ -n "$fd_folders" ] || fail "no descriptor folder was opened"
twice=$(sort <<<"$fd_folders" | uniq -d)
[ -z "$twice" ] || fail "descriptor folders opened more than once: $twice"
grep -q '"/sys/class/tty/ttyUSB0/device/uevent"' <<<"$opens" ||
  fail "the uevent file of ttyUSB0 was never read"
class_reads=$(grep -cE '"/sys/class/tty", [A-Z_|]*O_DIRECTORY' <<<"$opens")
[ "$class_reads" -eq 1 ] || fail "/sys/class/tty was listed $class_reads times, not once"

[ "$failures" -eq 0 ] || exit 1
echo "$(wc -l <<<"$opens") opens and $(grep -c 'readlink(' "$work/trace") readlinks traced;" \
  "no port opened"
