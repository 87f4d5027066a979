#!/usr/bin/env bash
# Times the default listing of two ttyenum builds, before and after the check for USB serial
# interfaces without a port, on a tree with 30 USB interfaces of which one counts: the captured
# Debian 12 tree (two FTDI adapters and a CDC ACM gadget, all bound) plus 26 interfaces bound to
# other drivers (hid, storage, hub, audio) and one interface with no driver: with ONE=ftdi an
# FTDI interface, whose lookup opens libkmod and loads the module index; with ONE=acm a CDC ACM
# interface, which its class settles without a lookup. The index is built by depmod from 12 tiny modules with 300 aliases
# each, in the tree's lib/modules, which the namespace lays over /lib/modules. Both run
# interleaved, the order rotated every round; prints the median wall times and the ratio, and
# checks that both builds printed the same standard output. Needs root (namespaces), objcopy and
# depmod. Not a test: nothing is asserted.
#
#   bench/missing_check_bench.sh BEFORE_BINARY [AFTER_BINARY]   (default after: build/ttyenum)
# Environment: ROUNDS=31, ONE=ftdi (or acm).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
namespace_script=$source_dir/tests/blackbox/fake_root_namespace.sh
fixture=$source_dir/tests/fixtures/qemu-debian12-6.1.tar.gz
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

# Inside the tree's namespace: ROUNDS rounds of both; "tool microseconds" lines.
measure() {
  local before=$1 after=$2 rounds=$3 work=$4
  "$before" >"$work/before.out"
  "$after" >"$work/after.out" 2>"$work/after.err"
  interleave "$rounds" run_tool before after
}

# One timed call; sees the locals of measure.
run_tool() {
  case "$1" in
    before) "$before" >/dev/null 2>&1 ;;
    after) "$after" >/dev/null 2>&1 ;;
  esac
}

if [ "${1:-}" = --measure ]; then
  shift
  measure "$@"
  exit 0
fi

before_and_after "$@"
rounds=${ROUNDS:-31}
one=${ONE:-ftdi}
PATH=$PATH:/usr/sbin:/sbin
for tool in objcopy depmod; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (binutils, kmod)" >&2; exit 1; }
done

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

tree=$work/tree
mkdir -p "$tree"
tar -xzf "$fixture" -C "$tree" --strip-components=1
mknod -m 666 "$tree/dev/null" c 1 3 2>/dev/null || : >"$tree/dev/null"

# The module index: 12 modules of 300 aliases each, one of them naming the FTDI id.
modules=$tree/lib/modules/$(uname -r)
for m in $(seq 1 12); do
  case $m in
    1) file=kernel/drivers/usb/serial/ftdi_sio.ko ;;
    2) file=kernel/drivers/usb/class/cdc-acm.ko ;;
    *) file=kernel/drivers/usb/misc/module$m.ko ;;
  esac
  : >"$work/modinfo"
  for a in $(seq 1 300); do
    printf 'alias=usb:v%04Xp%04Xd*dc*dsc*dp*ic*isc*ip*in*\0' "$((0x1000 + m))" "$a" >>"$work/modinfo"
  done
  [ "$m" -ne 1 ] || printf 'alias=usb:v0403p6001d*dc*dsc*dp*ic*isc*ip*in*\0' >>"$work/modinfo"
  mkdir -p "$(dirname "$modules/$file")"
  objcopy -I binary -O elf64-little --rename-section .data=.modinfo "$work/modinfo" "$modules/$file"
  echo "$file" >>"$modules/modules.order"
done
: >"$modules/modules.builtin"
depmod -b "$tree" "$(uname -r)" 2>/dev/null

# 27 interfaces beside the captured three: 26 bound to other drivers, one FTDI without a driver.
bus=/sys/devices/pci0000:00/0000:00:14.0/usb2
drivers=(usbhid usb-storage hub snd-usb-audio)
for i in $(seq 1 27); do
  device=$bus/2-$i
  interface=$device/2-$i:1.0
  mkdir -p "$tree$interface"
  printf '%s\n' 0403 >"$tree$device/idVendor"
  printf '%04x\n' "$i" >"$tree$device/idProduct"
  echo "Device $i" >"$tree$device/product"
  echo 2 >"$tree$device/busnum"
  echo "$i" >"$tree$device/devnum"
  ln -s "../../..${device#/sys}" "$tree/sys/bus/usb/devices/2-$i"
  ln -s "../../..${interface#/sys}" "$tree/sys/bus/usb/devices/2-$i:1.0"
  echo 00 >"$tree$interface/bInterfaceNumber"
  if [ "$i" -eq 27 ] && [ "$one" = acm ]; then
    echo usb:v2E8Ap000Ad0100dcEFdsc02dp01ic02isc02ip01in00 >"$tree$interface/modalias"
    printf '02\n' | tee "$tree$interface/bInterfaceClass" "$tree$interface/bInterfaceSubClass" \
      >/dev/null
    echo 01 >"$tree$interface/bInterfaceProtocol"
  elif [ "$i" -eq 27 ]; then
    echo usb:v0403p6001d0600dc00dsc00dp00icFFiscFFipFFin00 >"$tree$interface/modalias"
    printf 'ff\n' | tee "$tree$interface/bInterfaceClass" "$tree$interface/bInterfaceSubClass" \
      "$tree$interface/bInterfaceProtocol" >/dev/null
  else
    echo "usb:v1234p$(printf %04X "$i")d0100dc00dsc00dp00ic03isc01ip02in00" >"$tree$interface/modalias"
    ln -s "../../../../../../bus/usb/drivers/${drivers[i % 4]}" "$tree$interface/driver"
  fi
done

bash "$namespace_script" "$tree" bash "$0" --measure "$before" "$after" "$rounds" "$work" \
  >"$work/times"

times() { awk -v k="$1" '$1 == k { print $2 }' "$work/times"; }

before_ms=$(times before | median_ms 2)
after_ms=$(times after | median_ms 2)
printf '%-36s %10s %10s %14s\n' tree "before ms" "after ms" "after/before"
printf '%-36s %10s %10s %14s\n' "30 USB interfaces, 1 ($one) no port" "$before_ms" "$after_ms" \
  "$(ratio "$after_ms" "$before_ms")"
if cmp -s "$work/before.out" "$work/after.out"; then
  echo "standard output: identical ($(tail -n 1 "$work/after.out"))"
else
  echo "standard output: DIFFERENT"
  diff "$work/before.out" "$work/after.out" | head -n 20
fi
echo "standard error after: $(cat "$work/after.err")"
echo "($rounds interleaved rounds, medians of wall time, in a private mount and PID namespace)"
