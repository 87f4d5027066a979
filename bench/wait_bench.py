#!/usr/bin/env python3
"""Latency of `ttyenum --wait`: from a port's node to the tool's exit. Not a test.

The captured Debian 12 tree is unpacked into a temporary folder. Each of CYCLES cycles starts
`ttyenum --wait --vid=1234 -l short` in a private mount namespace where the tree stands for
/sys and /dev (the machine's /proc in view, no udev), waits until the tool sits in its wait
(ppoll, read from /proc/<pid>/syscall), makes the sysfs entries of a USB adapter with vendor id
1234, then its node dev/ttyUSB2, and times from the node's creation to the tool's exit; then
it checks the output and removes the adapter. Prints the median, the 90th percentile and the
maximum in milliseconds. Needs root (namespaces).

  bench/wait_bench.py [TTYENUM_BINARY]     (default: build/ttyenum)
  Environment: CYCLES=100.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tarfile
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, HERE)
from watch_bench import add_usb_adapter, pid_below  # noqa: E402

NAMESPACE = os.path.join(SOURCE, "tests/blackbox/fake_root_namespace.sh")
FIXTURE = os.path.join(SOURCE, "tests/fixtures/qemu-debian12-6.1.tar.gz")
USB_DEVICE = "sys/devices/pci0000:00/0000:00:05.0/usb1/1-3"
CYCLES = int(os.environ.get("CYCLES", "100"))
PPOLL = {"x86_64": "271", "aarch64": "73"}.get(os.uname().machine)


def waiting(pid):
    """True when the process sits in ppoll."""
    try:
        with open("/proc/%d/syscall" % pid) as f:
            return f.read().split()[0] == PPOLL
    except (OSError, IndexError):
        return False


def running(pid):
    """False once the process has ended (gone, or a zombie)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def remove_adapter(root):
    for path in ["dev/ttyUSB2", "sys/class/tty/ttyUSB2", "sys/bus/usb/devices/1-3"]:
        if os.path.lexists(os.path.join(root, path)):
            os.unlink(os.path.join(root, path))
    shutil.rmtree(os.path.join(root, USB_DEVICE), ignore_errors=True)


def one_cycle(root, binary):
    tool = subprocess.Popen(["/bin/bash", NAMESPACE, "--host-proc", root, binary, "--wait",
                             "--vid=1234", "-l", "short"], stdout=subprocess.PIPE)
    pid = pid_below(tool.pid, binary)
    while not waiting(pid):
        time.sleep(0.002)
    add_usb_adapter(root, "ttyUSB2", "1-3")
    with open(os.path.join(root, USB_DEVICE, "idVendor"), "w") as f:
        f.write("1234\n")
    start = time.monotonic()
    open(os.path.join(root, "dev/ttyUSB2"), "w").close()
    while running(pid):
        time.sleep(0.0005)
    elapsed = (time.monotonic() - start) * 1000
    out = tool.communicate()[0].decode()
    if out != "/dev/ttyUSB2\nFound serial ports: 1\n":
        raise RuntimeError("unexpected output: " + repr(out))
    remove_adapter(root)
    return elapsed


def main():
    if os.geteuid() != 0:
        sys.exit("wait_bench: needs root for the namespaces")
    if PPOLL is None:
        sys.exit("wait_bench: ppoll's number is not known for " + os.uname().machine)
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                             os.path.join(SOURCE, "build/ttyenum"))
    work = tempfile.mkdtemp()
    try:
        with tarfile.open(FIXTURE) as tar:
            tar.extractall(work)
        root = os.path.join(work, "qemu-debian12-6.1")
        latencies = sorted(one_cycle(root, binary) for _ in range(CYCLES))
        print("cycles %d  median %.1f ms  p90 %.1f ms  max %.1f ms" % (
            CYCLES, statistics.median(latencies), latencies[int(0.9 * (CYCLES - 1))],
            latencies[-1]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
