#!/usr/bin/env bash
# The README's recipes for many machines, run as written against the real engines, each started
# here on 127.0.0.1 with a free port and a timeout, inside a private mount and PID namespace over
# the captured Debian 12 tree (kernel 6.1) with udev's stable links and a holder of ttyACM0:
#   - the service's ExecStart writes ttyenum.prom into node_exporter's textfile folder (a tmpfs
#     over /var/lib/prometheus/node-exporter), and promtool accepts it;
#   - node_exporter serves it, and a Prometheus server that scrapes node_exporter answers the
#     README's PromQL queries;
#   - ansible-core's setup module runs the example fact script from /etc/ansible/facts.d (an
#     overlay over /etc) and reports the ports under ansible_local.
# The namespace's end stops every engine. Skips, saying why, where an engine is not installed or
# namespaces are not permitted, except under CI, where it must run.
#   recipes_test.sh TTYENUM_BINARY NAMESPACE_SCRIPT FIXTURE_TGZ SOURCE_DIR
set -uo pipefail

textfile_folder=/var/lib/prometheus/node-exporter

fail() {
  echo "FAIL: $*"
  exit 1
}

skip() {
  if [ -n "${CI:-}" ]; then
    fail "$* (CI is set, so this test must run)"
  fi
  echo "SKIP: $*"
  exit 77
}

# A TCP port on 127.0.0.1 that nothing listens on now.
free_port() {
  local port tries
  for tries in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# wait_for_url URL SECONDS: until URL answers with success.
wait_for_url() {
  local url=$1 tries=$(($2 * 10))
  until curl -sf -o /dev/null "$url"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# The README's indented line that starts with $1, without its indent.
readme_line() {
  sed -n "s/^    \\($1.*\\)\$/\\1/p" "$source/README.md" | head -n 1
}

inside() {
  set -e
  mount -t tmpfs tmpfs "$textfile_folder"
  export PATH="$work/bin:$PATH"

  # The service, as systemd runs it: the unit has no specifier or variable that systemd would
  # expand, so the shell reads ExecStart's quoting as systemd does.
  local exec_start
  exec_start=$(sed -n 's/^ExecStart=//p' "$source/dist/systemd/ttyenum-metrics.service")
  [[ $exec_start != *[%\$]* ]] || fail "ExecStart holds % or \$, which this test does not expand"
  eval "$exec_start" || fail "ExecStart failed: $exec_start"
  [ -f "$textfile_folder/ttyenum.prom" ] || fail "no $textfile_folder/ttyenum.prom"
  [ ! -e "$textfile_folder/ttyenum.prom.tmp" ] || fail "the temporary file was left"
  [ "$(stat -c %a "$textfile_folder/ttyenum.prom")" = 644 ] ||
    fail "ttyenum.prom is not readable by node_exporter's user"
  local problems
  problems=$(promtool check metrics <"$textfile_folder/ttyenum.prom" 2>&1) ||
    fail "promtool check metrics: $problems"
  echo "service: wrote $(wc -l <"$textfile_folder/ttyenum.prom") lines; promtool: clean"

  # node_exporter with only its textfile collector, scraped over HTTP.
  local exporter_port
  exporter_port=$(free_port) || fail "no free port"
  timeout 300 prometheus-node-exporter --web.listen-address="127.0.0.1:$exporter_port" \
    --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory="$textfile_folder" >"$work/node_exporter.log" 2>&1 &
  wait_for_url "http://127.0.0.1:$exporter_port/metrics" 30 ||
    fail "node_exporter did not answer: $(tail -5 "$work/node_exporter.log")"
  local scraped
  scraped=$(curl -sf "http://127.0.0.1:$exporter_port/metrics")
  # node_exporter writes labels in name order.
  local wanted=(
    'ttyenum_port_info{by_id="/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0",by_path="/dev/serial/by-path/pci-0000:00:05.0-usb-0:2.1:1.0-port0",driver="ftdi_sio",kind="usb",manufacturer="QEMU",port="/dev/ttyUSB1",product="QEMU USB SERIAL",product_id="6001",serial="LAB-FTDI-0002",usb_interface="0",usb_location="1-2.1",vendor_id="0403"} 1'
    'ttyenum_port_info{by_id="",by_path="",driver="serial",kind="pci",manufacturer="",port="/dev/ttyS4",product="UART",product_id="0002",serial="pci:v00001B36d00000002sv00001AF4sd00001100bc07sc00i02",usb_interface="",usb_location="",vendor_id="1b36"} 1'
    'ttyenum_port_in_use{port="/dev/ttyACM0"} 1'
    'ttyenum_port_in_use{port="/dev/ttyUSB1"} 0'
    'ttyenum_ports 8'
    'node_textfile_scrape_error 0'
  )
  local line
  for line in "${wanted[@]}"; do
    grep -qxF "$line" <<<"$scraped" || fail "node_exporter does not serve: $line"
  done
  grep -qE '^ttyenum_port_holder\{command="sleep",pid="[0-9]+",port="/dev/ttyACM0",via="descriptor"\} 1$' \
    <<<"$scraped" || fail "node_exporter does not serve the holder of ttyACM0"
  echo "node_exporter: serves $(grep -c '^ttyenum_' <<<"$scraped") ttyenum samples"

  # A Prometheus server scraping that node_exporter each second answers the README's queries.
  local server_port
  server_port=$(free_port) || fail "no free port"
  cat >"$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: node
    static_configs:
      - targets: ['127.0.0.1:$exporter_port']
YAML
  timeout 300 prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
    --web.listen-address="127.0.0.1:$server_port" >"$work/prometheus.log" 2>&1 &
  local serial_query held_query
  serial_query=$(readme_line 'ttyenum_port_info{serial=')
  held_query=$(readme_line 'ttyenum_port_holder ')
  [ -n "$serial_query" ] && [ -n "$held_query" ] || fail "README lacks the PromQL queries"
  wait_for_url "http://127.0.0.1:$server_port/-/ready" 60 ||
    fail "Prometheus did not start: $(tail -5 "$work/prometheus.log")"
  local answer tries=300
  until answer=$(curl -sf --get --data-urlencode "query=$serial_query" \
    "http://127.0.0.1:$server_port/api/v1/query") && [[ $answer == *'"port":"/dev/ttyUSB1"'* ]]; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || fail "no answer to $serial_query: ${answer:-none}"
    sleep 0.1
  done
  [[ $answer == *'"instance":"127.0.0.1:'"$exporter_port"'"'* ]] ||
    fail "the answer does not name the host: $answer"
  [ "$(grep -o '"metric"' <<<"$answer" | wc -l)" -eq 1 ] || fail "not one series: $answer"
  echo "Prometheus: $serial_query -> $answer"
  answer=$(curl -sf --get --data-urlencode "query=$held_query" \
    "http://127.0.0.1:$server_port/api/v1/query")
  for line in '"port":"/dev/ttyACM0"' '"command":"sleep"' '"serial":"LAB-ACM-0001"'; do
    [[ $answer == *"$line"* ]] || fail "$held_query lacks $line: $answer"
  done
  echo "Prometheus: $held_query -> $answer"

  # Ansible: the example fact script where the README installs it, in an overlay over /etc, and
  # an inventory of this host alone; then the README's command.
  local overlay
  overlay=$(mktemp -d)
  mount -t tmpfs tmpfs "$overlay"
  mkdir "$overlay/upper" "$overlay/work"
  mount -t overlay overlay -o "lowerdir=/etc,upperdir=$overlay/upper,workdir=$overlay/work" /etc
  local install_fact ansible_command
  install_fact=$(readme_line 'sudo install -D -m 0755 ')
  ansible_command=$(readme_line 'ansible all ')
  [ -n "$install_fact" ] && [ -n "$ansible_command" ] || fail "README lacks the Ansible commands"
  # The package's example is the source's dist/ansible/ttyenum.fact (ship.install checks that).
  install_fact=${install_fact#sudo }
  eval "${install_fact/\/usr\/share\/doc\/ttyenum\/examples/$source/dist/ansible}"
  # Ansible's workers need what a real /dev has.
  mount -t tmpfs tmpfs /dev/shm
  printf 'localhost ansible_connection=local\n' >/etc/ansible/hosts
  local facts
  facts=$(HOME="$work/home" ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 timeout 300 \
    bash -c "${ansible_command/#sudo /}" 2>"$work/ansible.err") ||
    fail "$ansible_command: $facts $(cat "$work/ansible.err")"
  python3 - "$facts" <<'PYTHON' || fail "the facts lack the ports: $facts"
import json, sys
text = sys.argv[1]
ports = json.loads(text[text.index("{"):])["ansible_facts"]["ansible_local"]["ttyenum"]["ports"]
names = [port["portName"] for port in ports]
assert names == ["/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS4", "/dev/ttyS5", "/dev/ttyS6",
                 "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0"], names
assert ports[6]["serialNumber"] == "LAB-FTDI-0002", ports[6]
assert ports[7]["holder"]["command"] == "sleep", ports[7]
assert ports[7]["links"] == ["/dev/serial/by-id/usb-Linux_Gadget_Serial_v2.4_LAB-ACM-0001-if00"]
print("ansible: ansible_local.ttyenum.ports holds", len(ports), "ports")
PYTHON
}

if [ "${1-}" = --inside ]; then
  work=$2 source=$3
  inside
  exit $?
fi

binary=$1 namespace_script=$2 fixture=$3 source=$4
for tool in promtool prometheus prometheus-node-exporter ansible curl systemd-analyze python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/dev test installs it)"
done
[ -d "$textfile_folder" ] || skip "$textfile_folder is missing (package prometheus-node-exporter)"

# The units as systemd reads them: no complaint at all.
complaints=$(systemd-analyze verify --man=no "$source/dist/systemd/ttyenum-metrics.service" \
  "$source/dist/systemd/ttyenum-metrics.timer" 2>&1) || complaints+=" (status $?)"
[ -z "$complaints" ] || fail "systemd-analyze verify: $complaints"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root" "$work/bin" "$work/home"
tar -xzf "$fixture" --strip-components=1 -C "$work/root" || fail "cannot unpack $fixture"
cp "$binary" "$work/bin/ttyenum"
links=(
  by-id/usb-QEMU_QEMU_USB_SERIAL_1-0000:00:05.0-1-if00-port0=ttyUSB0
  by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0=ttyUSB1
  by-path/pci-0000:00:05.0-usb-0:1:1.0-port0=ttyUSB0
  by-path/pci-0000:00:05.0-usb-0:2.1:1.0-port0=ttyUSB1
  by-id/usb-Linux_Gadget_Serial_v2.4_LAB-ACM-0001-if00=ttyACM0
)
mkdir -p "$work/root/dev/serial/by-id" "$work/root/dev/serial/by-path" "$work/root/dev/shm"
mknod -m 666 "$work/root/dev/null" c 1 3 || fail "cannot make a null device"
for link in "${links[@]}"; do
  ln -s "../../${link#*=}" "$work/root/dev/serial/${link%%=*}"
done

bash "$namespace_script" --hold /dev/ttyACM0 "$work/root" \
  bash "${BASH_SOURCE[0]}" --inside "$work" "$source"
status=$?
[ "$status" -ne 125 ] || skip "namespace runs are not possible here"
[ "$status" -eq 0 ] || exit 1
echo "recipes: the service, node_exporter, Prometheus and Ansible agree"
