#!/usr/bin/env python3
"""Latency and idle cost of `ttyenum --watch`, against a peer and the floor. Not a test.

The captured Debian 12 tree is unpacked into a temporary folder, with the sysfs entries of one
more USB adapter (ttyUSB2) made up front, as the kernel makes them before the node. Three
watchers run at once over that tree:
  ttyenum  `ttyenum -w`, in a private mount namespace where the tree stands for /sys and /dev;
  peer     what people do without a watch: a shell loop that runs the one-shot listing
           (`ttyenum -l short --no-counting`) every POLL seconds and prints the difference;
  floor    a small C program that prints a line as soon as inotify reports a name in the
           tree's dev/: the kernel's notification alone, with no listing behind it.
Each cycle makes the node dev/ttyUSB2 and waits until every watcher has printed its add line,
then removes it and waits for the remove lines; the latency is the time from the node's
creation to each add line. Then the three sit idle for IDLE seconds and their CPU ticks
(utime + stime of the watcher and its children, from /proc) are counted. Last, a fresh
ttyenum alone, in a PID namespace of its own, goes through CYCLES add/remove cycles, and its
resident memory before and after is printed.
Needs root (namespaces) and cc.

  bench/watch_bench.py [TTYENUM_BINARY]     (default: build/ttyenum)
  Environment: ROUNDS=200, IDLE=30, CYCLES=10000, POLL=0.25.
"""
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tarfile
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
NAMESPACE = os.path.join(SOURCE, "tests/blackbox/fake_root_namespace.sh")
FIXTURE = os.path.join(SOURCE, "tests/fixtures/qemu-debian12-6.1.tar.gz")
USB_BUS = "sys/devices/pci0000:00/0000:00:05.0/usb1/"
ROUNDS = int(os.environ.get("ROUNDS", "200"))
IDLE = float(os.environ.get("IDLE", "30"))
CYCLES = int(os.environ.get("CYCLES", "10000"))
POLL = os.environ.get("POLL", "0.25")

FLOOR_C = r"""
#include <stdio.h>
#include <sys/inotify.h>
#include <unistd.h>
int main(int argc, char** argv) {
  int fd = inotify_init1(0);
  if (fd < 0 || inotify_add_watch(fd, argv[1], IN_CREATE | IN_DELETE) < 0) return 1;
  char buffer[4096] __attribute__((aligned(8)));
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return 1;
    for (char* at = buffer; at < buffer + got;) {
      struct inotify_event* event = (struct inotify_event*)at;
      printf("%s\t/dev/%s\n", (event->mask & IN_CREATE) ? "add" : "remove", event->name);
      at += sizeof *event + event->len;
    }
    fflush(stdout);
  }
}
"""

PEER_SH = r"""
binary=$1 poll=$2 state=$3
"$binary" -l short --no-counting | LC_ALL=C sort >"$state/old"
while sleep "$poll"; do
  "$binary" -l short --no-counting | LC_ALL=C sort >"$state/new"
  comm -23 "$state/old" "$state/new" | sed -u 's/^/remove\t/'
  comm -13 "$state/old" "$state/new" | sed -u 's/^/add\t/'
  mv "$state/new" "$state/old"
done
"""


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def link(path, target):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    os.symlink(target, path)


def add_usb_adapter(root, tty, device):
    usb = os.path.join(root, USB_BUS, device)
    interface = device + ":1.0"
    for name, text in [("idVendor", "0403"), ("idProduct", "6001"), ("manufacturer", "FTDI"),
                       ("product", "FT232R USB UART"), ("serial", "BENCH"), ("version", " 2.00")]:
        write(os.path.join(usb, name), text + "\n")
    write(os.path.join(usb, interface, "bInterfaceNumber"), "00\n")
    write(os.path.join(usb, interface, tty, "uevent"), "DRIVER=ftdi_sio\n")
    link(os.path.join(usb, interface, tty, "tty", tty, "device"), "../../../" + tty)
    logical = "/" + USB_BUS[len("sys/"):] + device
    link(os.path.join(root, "sys/bus/usb/devices", device), "../../.." + logical)
    link(os.path.join(root, "sys/class/tty", tty),
         "../.." + logical + "/" + interface + "/" + tty + "/tty/" + tty)


class Watcher:
    def __init__(self, name, argv):
        self.name = name
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                        start_new_session=True)
        self.buffer = b""

    def lines(self, timeout):
        """Lines that arrive within `timeout` seconds, each with its arrival time."""
        ready, _, _ = select.select([self.process.stdout], [], [], timeout)
        if not ready:
            return []
        data = os.read(self.process.stdout.fileno(), 65536)
        if not data:
            raise RuntimeError(self.name + " ended")
        now = time.monotonic()
        self.buffer += data
        *whole, self.buffer = self.buffer.split(b"\n")
        return [(line.decode(), now) for line in whole]

    def wait_for(self, wanted, timeout=30.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line, when in self.lines(deadline - time.monotonic()):
                if line == wanted:
                    return when
        raise RuntimeError(self.name + ": no line " + repr(wanted))

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, 9)
            self.process.wait()


def wait_all(watchers, wanted, timeout=30.0):
    """Waits for the line `wanted` from every watcher; the arrival time of each, by name."""
    arrived = {}
    deadline = time.monotonic() + timeout
    while len(arrived) < len(watchers):
        left = deadline - time.monotonic()
        waiting = [w for w in watchers if w.name not in arrived]
        ready, _, _ = select.select([w.process.stdout for w in waiting], [], [], max(left, 0))
        if not ready:
            raise RuntimeError("no line %r from %s" % (wanted, [w.name for w in waiting]))
        for w in waiting:
            if w.process.stdout in ready:
                for line, when in w.lines(0):
                    if line == wanted and w.name not in arrived:
                        arrived[w.name] = when
    return arrived


def pid_below(ancestor, exe):
    """The host pid of the process running `exe` below `ancestor`."""
    for _ in range(500):
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                if os.readlink("/proc/%s/exe" % entry) != exe:
                    continue
                pid = int(entry)
                while pid > 1:
                    with open("/proc/%d/stat" % pid) as f:
                        pid = int(f.read().rsplit(")", 1)[1].split()[1])
                    if pid == ancestor:
                        return int(entry)
            except OSError:
                continue
        time.sleep(0.01)
    raise RuntimeError("no process of " + exe)


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return sum(int(x) for x in fields[11:15])  # utime stime cutime cstime


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    # Ends through the finally below, which stops the watchers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGINT, lambda *_: sys.exit(130))
    if os.geteuid() != 0:
        sys.exit("watch_bench: needs root for the namespaces")
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                             os.path.join(SOURCE, "build/ttyenum"))
    work = tempfile.mkdtemp()
    watchers = []
    try:
        with tarfile.open(FIXTURE) as tar:
            tar.extractall(work)
        root = os.path.join(work, "qemu-debian12-6.1")
        add_usb_adapter(root, "ttyUSB2", "1-3")
        node = os.path.join(root, "dev/ttyUSB2")
        subprocess.run(["cc", "-O2", "-x", "c", "-o", os.path.join(work, "floor"), "-"],
                       input=FLOOR_C.encode(), check=True)
        inside = ["/bin/bash", NAMESPACE, "--host-proc", root]
        watchers = [
            Watcher("ttyenum", inside + [binary, "-w"]),
            Watcher("peer", inside + ["/bin/bash", "-c", PEER_SH, "peer", binary, POLL, work]),
            Watcher("floor", [os.path.join(work, "floor"), os.path.join(root, "dev")]),
        ]
        watchers[0].wait_for("add\t/dev/ttyACM0")
        time.sleep(1)
        tool = pid_below(watchers[0].process.pid, binary)
        peer = pid_below(watchers[1].process.pid, "/usr/bin/bash")
        added = "add\t/dev/ttyUSB2"
        removed = "remove\t/dev/ttyUSB2"
        latency = {w.name: [] for w in watchers}
        sys.stderr.write("%d latency rounds\n" % ROUNDS)
        for _ in range(ROUNDS):
            start = time.monotonic()
            open(node, "w").close()
            for name, when in wait_all(watchers, added).items():
                latency[name].append((when - start) * 1000)
            os.unlink(node)
            wait_all(watchers, removed)

        ticks = {}
        pids = {"ttyenum": tool, "peer": peer, "floor": watchers[2].process.pid}
        before = {name: cpu_ticks(pid) for name, pid in pids.items()}
        time.sleep(IDLE)
        for name, pid in pids.items():
            ticks[name] = cpu_ticks(pid) - before[name]
        for w in watchers[1:]:
            w.stop()
        sys.stderr.write("idle measured; %d add/remove cycles of ttyenum alone\n" % CYCLES)

        watchers[0].stop()

        # A PID namespace of its own, so that the holder scans of many cycles stay short.
        alone = Watcher("ttyenum", ["/bin/bash", NAMESPACE, root, binary, "-w"])
        watchers.append(alone)
        alone.wait_for("add\t/dev/ttyACM0")
        tool = pid_below(alone.process.pid, binary)
        rss_start = rss_kb(tool)
        for _ in range(CYCLES):
            open(node, "w").close()
            alone.wait_for(added)
            os.unlink(node)
            alone.wait_for(removed)
        rss_end = rss_kb(tool)

        print("watch latency, node creation to its add line, %d cycles; idle %g s" %
              (ROUNDS, IDLE))
        print("%-8s %12s %12s %12s" % ("watcher", "median ms", "max ms", "idle ticks"))
        for w in watchers[:3]:
            values = latency[w.name]
            print("%-8s %12.1f %12.1f %12d" % (w.name, statistics.median(values), max(values),
                                               ticks[w.name]))
        print("peer: the one-shot listing every %s s; floor: inotify alone" % POLL)
        print("ttyenum resident memory: %d kB at start, %d kB after %d add/remove cycles "
              "(%+d kB)" % (rss_start, rss_end, CYCLES, rss_end - rss_start))
    finally:
        for w in watchers:
            w.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
