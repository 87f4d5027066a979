#!/usr/bin/env bash
# Times a full ttyenum listing against fuser on the same port nodes while many processes hold
# open descriptors. For each load of P sleeping processes with 20 descriptors each, and for a tree
# with 1 and with 4 accepted ports (one of them held open by another process), it runs both tools
# in turn, several rounds, inside a private mount namespace where the captured Debian 12 sysfs
# tree stands for /sys and /dev. It prints the median wall times, their ratio and the peak RSS.
# Needs root (namespaces), fuser (psmisc) and /usr/bin/time. Not a test: nothing is asserted.
#
#   bench/holders_bench.sh [TTYENUM_BINARY]       (default: build/ttyenum)
# Environment: LOADS="100 1000 4000", ROUNDS=7, FDS=20.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
namespace_script=$source_dir/tests/blackbox/fake_root_namespace.sh
fixture=$source_dir/tests/fixtures/qemu-debian12-6.1.tar.gz

# Inside the namespace: ROUNDS rounds of both tools, the order swapped every round so that
# neither always runs on a warmer cache. Prints "tool microseconds" lines, then "rss tool kB".
if [ "${1:-}" = --measure ]; then
  shift
  binary=$1 rounds=$2
  shift 2
  nodes=("$@")
  for ((round = 0; round < rounds; round++)); do
    order=(ttyenum fuser)
    ((round % 2)) && order=(fuser ttyenum)
    for tool in "${order[@]}"; do
      start=$EPOCHREALTIME
      if [ "$tool" = ttyenum ]; then
        "$binary" >/dev/null
      else
        fuser "${nodes[@]}" >/dev/null 2>&1 || true
      fi
      end=$EPOCHREALTIME
      echo "$tool $((${end/./} - ${start/./}))"
    done
  done
  echo "rss ttyenum $(/usr/bin/time -f %M "$binary" 2>&1 >/dev/null | tail -n 1)"
  echo "rss fuser $(/usr/bin/time -f %M fuser "${nodes[@]}" 2>&1 >/dev/null | tail -n 1)"
  exit 0
fi

binary=$(realpath "${1:-$source_dir/build/ttyenum}")
loads=${LOADS:-100 1000 4000}
rounds=${ROUNDS:-7}
fds=${FDS:-20}
[ -x "$binary" ] || { echo "no ttyenum binary at $binary; build it first" >&2; exit 1; }
for tool in fuser /usr/bin/time unshare; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install psmisc time util-linux)" >&2; exit 1; }
done

work=$(mktemp -d)
load_pids=()
stop_load() {
  if ((${#load_pids[@]})); then
    kill "${load_pids[@]}" 2>/dev/null || true
    wait "${load_pids[@]}" 2>/dev/null || true
  fi
  load_pids=()
}
trap 'stop_load; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# Two trees from the captured one: its dev/ keeps only the nodes named.
make_tree() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  tar -xzf "$fixture" -C "$work/$name" --strip-components=1
  find "$work/$name/dev" -mindepth 1 -maxdepth 1 -name 'tty*' -delete
  local node
  for node in "$@"; do
    : >"$work/$name/dev/${node#/dev/}"
  done
}
one_port=(/dev/ttyUSB0)
four_ports=(/dev/ttyS0 /dev/ttyS4 /dev/ttyUSB0 /dev/ttyACM0)
make_tree one "${one_port[@]}"
make_tree four "${four_ports[@]}"

# Adds sleeping processes until COUNT run, each with FDS descriptors: the three standard
# streams on /dev/null and the rest on files of their own folder.
grow_load() {
  local count=$1
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
    jobs -p >"$work/load/pids"
    wait
  ) &
  load_pids+=($!)
  local tries=0
  until [ -s "$work/load/pids" ] && [ "$(wc -l <"$work/load/pids")" -ge "$count" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 600 ] || { echo "load did not start" >&2; exit 1; }
    sleep 0.1
  done
  mapfile -t -O "${#load_pids[@]}" load_pids <"$work/load/pids"
  rm -f "$work/load/pids"
}

# The median of microsecond values, in milliseconds.
median_ms() {
  sort -n | awk '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'
}

printf '%-6s %-6s %12s %12s %8s %14s %12s\n' processes ports "ttyenum ms" "fuser ms" ratio \
  "ttyenum RSS kB" "fuser RSS kB"
for load in $loads; do
  stop_load
  grow_load "$load"
  for tree in one four; do
    if [ "$tree" = one ]; then nodes=("${one_port[@]}"); else nodes=("${four_ports[@]}"); fi
    bash "$namespace_script" --host-proc --hold /dev/ttyUSB0 "$work/$tree" \
      bash "$0" --measure "$binary" "$rounds" "${nodes[@]}" >"$work/times"
    tool_ms=$(awk '$1 == "ttyenum" { print $2 }' "$work/times" | median_ms)
    fuser_ms=$(awk '$1 == "fuser" { print $2 }' "$work/times" | median_ms)
    printf '%-6s %-6s %12s %12s %8s %14s %12s\n' "$load" "${#nodes[@]}" "$tool_ms" "$fuser_ms" \
      "$(awk -v a="$tool_ms" -v b="$fuser_ms" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }')" \
      "$(awk '$1 == "rss" && $2 == "ttyenum" { print $3 }' "$work/times")" \
      "$(awk '$1 == "rss" && $2 == "fuser" { print $3 }' "$work/times")"
  done
done
echo "($rounds rounds each, medians of wall time; $fds descriptors per sleeping process;" \
  "/dev/ttyUSB0 held open by one more process)"
