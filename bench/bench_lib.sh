# Sourced by the benchmark scripts: interleaved rounds, medians and ratios.

# interleave ROUNDS RUN TOOL...: ROUNDS rounds in which the command RUN is called once with each
# TOOL, the order rotated every round, so that no tool always runs first; prints
# "TOOL microseconds" of wall time for every call.
interleave() {
  local rounds=$1 run=$2
  shift 2
  local tools=("$@") count=$# round turn tool start end
  for ((round = 0; round < rounds; round++)); do
    for ((turn = 0; turn < count; turn++)); do
      tool=${tools[(round + turn) % count]}
      start=$EPOCHREALTIME
      "$run" "$tool"
      end=$EPOCHREALTIME
      echo "$tool $((${end/./} - ${start/./}))"
    done
  done
}

# median_ms [DECIMALS]: the median of the microsecond values on stdin, in milliseconds.
median_ms() {
  sort -n | awk -v d="${1:-1}" '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.*f", d, m / 1000 }'
}

# ratio A B: A / B with two decimals, "-" when B is 0.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }'; }

# before_and_after ARG...: sets `before` and `after` to the real paths of the two ttyenum builds
# that the script's arguments name (AFTER defaults to this checkout's build/ttyenum, through the
# caller's `source_dir`); ends the script with its usage when none is named or one is missing.
before_and_after() {
  [ $# -ge 1 ] || { echo "usage: $0 BEFORE_BINARY [AFTER_BINARY]" >&2; exit 2; }
  before=$(realpath "$1")
  after=$(realpath "${2:-$source_dir/build/ttyenum}")
  local binary
  for binary in "$before" "$after"; do
    [ -x "$binary" ] || { echo "no ttyenum binary at $binary" >&2; exit 1; }
  done
}
