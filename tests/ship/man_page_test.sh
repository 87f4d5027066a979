#!/usr/bin/env bash
# The man page renders without groff warnings, and its OPTIONS section agrees with the usage text
# that the program writes for -h: the same options, and every description line of the usage text
# in the man page's entry for that option.
#   man_page_test.sh MAN_PAGE TTYENUM_BINARY
set -euo pipefail
man_page=$1 binary=$2

warnings=$(groff -ww -z -man "$man_page" 2>&1)
if [ -n "$warnings" ]; then
  printf 'FAIL: groff warns about %s:\n%s\n' "$man_page" "$warnings"
  exit 1
fi

usage=$(mktemp)
trap 'rm -f "$usage"' EXIT
status=0
"$binary" -h 2>"$usage" >/dev/null || status=$?
if [ "$status" -ne 0 ] || [ ! -s "$usage" ]; then
  echo "FAIL: '$binary -h' gave status $status and ${usage##*/} of $(wc -c <"$usage") bytes"
  exit 1
fi

# Both inputs become records "names<TAB>line": the option's names sorted and joined by a comma,
# and one line of its description with runs of blanks made one space.
awk -v FS='\n' '
  function names_in(text,   found, list, n, i, sorted) {
    n = 0
    while (match(text, /(^|[^A-Za-z0-9-])--?[A-Za-z][a-z-]*/)) {
      found = substr(text, RSTART, RLENGTH)
      sub(/^[^-]/, "", found)
      list[++n] = found
      text = substr(text, RSTART + RLENGTH)
    }
    # insertion sort: a handful of names at most
    for (i = 2; i <= n; i++) {
      found = list[i]
      for (j = i - 1; j >= 1 && list[j] > found; j--) list[j + 1] = list[j]
      list[j + 1] = found
    }
    sorted = ""
    for (i = 1; i <= n; i++) sorted = sorted (i > 1 ? "," : "") list[i]
    return sorted
  }
  function squeeze(text) {
    gsub(/[ \t]+/, " ", text)
    sub(/^ /, "", text)
    sub(/ $/, "", text)
    return text
  }
  function troff_to_text(text) {
    gsub(/\\f[BIRP]/, "", text)
    gsub(/\\&/, "", text)
    gsub(/\\-/, "-", text)
    gsub(/\\\(aq/, "\047", text)
    gsub(/\\e/, "\\", text)
    return text
  }
  # The usage text: an option line starts with blanks and a dash; its names stand before the
  # first tab and its description after it. Further lines of a description start with tabs.
  FNR == NR {
    if ($0 ~ /^ +-/) {
      tab = index($0, "\t")
      option = names_in(substr($0, 1, tab - 1))
      help[option] = 1
      line = squeeze(substr($0, tab + 1))
    } else if ($0 ~ /^\t/ && option != "") {
      line = squeeze($0)
    } else {
      option = ""
      next
    }
    if (line != "") wanted[option, line] = 1
    next
  }
  # The man page: inside OPTIONS, ".TP" is followed by the line naming the option; text lines
  # up to the next ".TP" or ".SH" describe it.
  /^\.SH/ { in_options = ($0 ~ /^\.SH +"?OPTIONS/); entry = ""; next }
  !in_options { next }
  /^\.TP/ { expect_head = 1; next }
  expect_head { entry = names_in(troff_to_text($0)); man[entry] = 1; expect_head = 0; next }
  entry != "" && !/^\./ { present[entry, squeeze(troff_to_text($0))] = 1 }
  END {
    failures = 0
    for (option in help)
      if (!(option in man)) { print "FAIL: option " option " is missing from the man page"; failures++ }
    for (option in man)
      if (!(option in help)) { print "FAIL: man page documents " option ", which -h does not show"; failures++ }
    for (key in wanted)
      if (!(key in present)) {
        split(key, part, SUBSEP)
        print "FAIL: man page entry of " part[1] " lacks the usage line: " part[2]
        failures++
      }
    count = 0
    for (option in help) count++
    if (count < 8) { print "FAIL: found only " count " options in the usage text"; failures++ }
    if (failures) exit 1
    print "man page agrees with the usage text on " count " options"
  }
' "$usage" "$man_page"
