#!/usr/bin/env bash
# `cmake --install` puts the binary, the man page and the bash completion where a Linux system
# looks for them, under the configured prefix or one given at install time, below DESTDIR.
#   install_test.sh BUILD_DIR CONFIGURED_PREFIX SOURCE_DIR
set -uo pipefail
build=$1 configured_prefix=$2 source=$3

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0

# check_tree ROOT: the installed files under ROOT, each intact.
check_tree() {
  local root=$1
  if [ ! -x "$root/bin/ttyenum" ] || ! "$root/bin/ttyenum" -v | grep -qx '0.1.0'; then
    echo "FAIL: $root/bin/ttyenum missing or does not run"
    failures=$((failures + 1))
  fi
  if ! gzip -dc "$root/share/man/man1/ttyenum.1.gz" 2>/dev/null | cmp -s - "$source/doc/ttyenum.1"; then
    echo "FAIL: $root/share/man/man1/ttyenum.1.gz missing or not the man page"
    failures=$((failures + 1))
  fi
  if ! cmp -s "$root/share/bash-completion/completions/ttyenum" "$source/completion/ttyenum"; then
    echo "FAIL: $root/share/bash-completion/completions/ttyenum missing or changed"
    failures=$((failures + 1))
  fi
  local shipped installed
  for shipped in systemd/ttyenum-metrics.service systemd/ttyenum-metrics.timer ansible/ttyenum.fact; do
    case $shipped in
      systemd/*) installed=$root/lib/systemd/system/${shipped#systemd/} ;;
      *) installed=$root/share/doc/ttyenum/examples/${shipped#ansible/} ;;
    esac
    if ! cmp -s "$installed" "$source/dist/$shipped"; then
      echo "FAIL: $installed missing or changed"
      failures=$((failures + 1))
    fi
  done
}

DESTDIR="$stage/configured" cmake --install "$build" >/dev/null || failures=$((failures + 1))
check_tree "$stage/configured$configured_prefix"

DESTDIR="$stage/given" cmake --install "$build" --prefix /opt/serial >/dev/null ||
  failures=$((failures + 1))
check_tree "$stage/given/opt/serial"

# Nothing may land outside DESTDIR: every installed file is under one of the two prefixes.
stray=$(find "$stage" -type f ! -path "$stage/configured$configured_prefix/*" \
  ! -path "$stage/given/opt/serial/*")
if [ -n "$stray" ]; then
  echo "FAIL: installed outside the prefix: $stray"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "install: both prefixes hold the six files"
[ "$failures" -eq 0 ]
