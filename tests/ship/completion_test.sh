#!/usr/bin/env bash
# Drives the bash completion function as bash does on <TAB>, and checks its answers. A stand-in
# ttyenum on PATH reports a fixed set of ports; the real binary must accept the command line
# that the completion runs.
#   completion_test.sh COMPLETION_FILE TTYENUM_BINARY
set -uo pipefail
completion=$1 binary=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# Ports as "--format=%u" renders them: a repeated pair, a port without ids, and one whose
# vendor id holds an escaped control byte.
cat >"$work/bin/ttyenum" <<'STUB'
#!/bin/sh
printf '%s\n' "$*" >>"${0%/*}/calls"
printf '0403:6001\n0403:6015\n067b:2303\n:\n1a86:7523\n0403:6001\n\\x1b:0001\n'
STUB
chmod +x "$work/bin/ttyenum"

failures=0 rows=0
# check "WORDS..." "EXPECTED": WORDS as bash splits the line (a trailing "" is the empty word
# under the cursor); EXPECTED is the sorted answers joined by spaces.
check() {
  local expected=$1
  shift
  rows=$((rows + 1))
  local got
  got=$(PATH="$work/bin:$PATH" bash -c '
    source "$1" || exit 9
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    _ttyenum ttyenum "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd" " -
  ' _ "$completion" "$@")
  if [ "$got" != "$expected" ]; then
    echo "FAIL: completing [$*]: expected [$expected], got [$got]"
    failures=$((failures + 1))
  fi
}

all_options='--format= --help --json --list= --missing --no-counting --pid= --prometheus --state= --version --vid= --watch -J -f -h -l -s -v -w'
check "$all_options" ttyenum ""
check "$all_options" ttyenum -
check "--json" ttyenum --j
check "$all_options" ttyenum --json "" # a switch: the next word is an option again
check "$all_options" ttyenum -J -
check "--no-counting" ttyenum --no
check "--missing" ttyenum --m
check "--pid= --prometheus" ttyenum --p
check "--prometheus" ttyenum --pr
check "$all_options" ttyenum --prometheus "" # a switch too
check "--watch" ttyenum --w
check "--version --vid=" ttyenum --v
check "long short" ttyenum --list ""
check "long short" ttyenum --list = ""
check "short" ttyenum -l sh
check "short" ttyenum --list = s
check "--list=short" ttyenum --list=s # when "=" does not break words
check "exist free used" ttyenum -s ""
check "free" ttyenum --state = f
check "used" ttyenum --no-counting --state u
check "" ttyenum --state = x
check "" ttyenum --format ""
check "0403 067b 1a86" ttyenum --vid ""
check "0403 067b 1a86" ttyenum --vid = ""
check "067b" ttyenum --vid = 06
check "--vid=0403" ttyenum --vid=04
check "2303 6001 6015 7523" ttyenum --pid ""
check "6001 6015" ttyenum --vid = 0403 --pid = ""
check "6001 6015" ttyenum --vid 0403 --pid 60
check "6015" ttyenum --vid=0403 --pid = 601
check "7523" ttyenum --vid 1a86 --pid ""

# The stand-in saw the command line the completion runs; the real binary must take it.
sort -u "$work/bin/calls" >"$work/command_lines"
if [ "$(cat "$work/command_lines")" != "--no-counting --format=%u" ]; then
  echo "FAIL: the completion ran ttyenum with: $(paste -sd'|' "$work/command_lines")"
  failures=$((failures + 1))
fi
status=0
"$binary" --no-counting --format=%u >/dev/null 2>"$work/stderr" || status=$?
if [ "$status" -ne 0 ] || [ -s "$work/stderr" ]; then
  echo "FAIL: '$binary --no-counting --format=%u' gave status $status: $(cat "$work/stderr")"
  failures=$((failures + 1))
fi

echo "completion: $((rows - failures)) of $rows rows as expected"
[ "$failures" -eq 0 ]
