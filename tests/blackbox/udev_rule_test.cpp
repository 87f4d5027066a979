// One port by its path (--port) and a udev rule that names it (--udev-rule), from the built
// binary in a private namespace over the captured Debian 12 tree (kernel 6.1) with udev's links;
// then the rules checked by the machine's own udev where it has one.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using OnePort = FakeRootRun;

const char kFixture[] = "qemu-debian12-6.1";

// The captured tree with udev's links, and character devices with the kernel's numbers for the
// nodes the tests name: a captured node is a plain file, which --port keeps nothing for.
void prepare(FakeRoot& fake) {
  fake.unpackFixture(kFixture);
  addQemuStableLinks(fake);
  for (const auto& [node, major, minor] :
       {std::tuple{"ttyS1", 4, 65}, std::tuple{"ttyUSB0", 188, 0}, std::tuple{"ttyUSB1", 188, 1},
        std::tuple{"ttyACM0", 166, 0}}) {
    const std::string path = fake.path(std::string("/dev/") + node);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mknod(path.c_str(), S_IFCHR | 0600, makedev(major, minor)), 0);
  }
  fake.link("/dev/lab/board", "../ttyUSB1");
  fake.link("/own-link", "/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0");
}

// --port by a node, a by-id link, a link of our own and a node that is no character device;
// with the other filters; and the rule for the one port kept, or why there is none.
TEST_F(OnePort, PortAndUdevRuleForTheOnePortKept) {
  FakeRoot fake;
  prepare(fake);
  const auto port = [](const std::string& path) {
    return std::vector<std::string>{"--port=" + path, "--no-counting", "--format=%c %D"};
  };
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err = "";
    int status = 0;
  } rows[] = {
      {port("/dev/ttyUSB1"), "/dev/ttyUSB1 188:1\n"},
      {port("/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0"),
       "/dev/ttyUSB1 188:1\n"},
      {port(fake.path("/own-link")), "/dev/ttyUSB1 188:1\n"},
      {port("/dev/ttyS1"), "/dev/ttyS1 4:65\n"},
      {port("/dev/ttyS0"), ""},  // a plain file
      {port("/dev/serial/by-id/stale-link-to-ttyUSB10"), ""},
      {{"--port", "/dev/lab/board", "--pid=a4a7"}, "Found serial ports: 0\n"},
      {{"--udev-rule=lab/ftdi", "--port=/dev/lab/board", "--format=%c", "-l", "short",
        "--no-counting"},
       "# Save as /etc/udev/rules.d/99-ttyenum-lab-ftdi.rules\n"
       "# Matches the USB device 0403:6001 with serial number LAB-FTDI-0002: no other USB device "
       "here has these ids and that serial number, so the name follows the adapter into any USB "
       "socket.\nSUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
       "ATTRS{serial}==\"LAB-FTDI-0002\", SYMLINK+=\"lab/ftdi\"\n"},
      {{"--udev-rule", "lab/ftdi", "--vid=0403", "--state=free"},
       "",
       "ttyenum: --udev-rule needs exactly one port; the filters keep 2\n/dev/ttyUSB0\n"
       "/dev/ttyUSB1\n",
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0]);
    const ProcessResult result = runToolInFakeRoot(fake, row.args);
    EXPECT_EQ(result.out, row.out);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.status, row.status);
  }
}

// The watch looks the path up again at each scan: a link that comes to lead to another node
// makes the one port leave and the other come.
TEST_F(OnePort, WatchFollowsThePathFromScanToScan) {
  FakeRoot fake;
  prepare(fake);
  fake.link("/dev/board", "ttyUSB1");
  const std::unique_ptr<BackgroundProcess> run =
      startToolInFakeRoot(fake, {"--watch", "--port=/dev/board"});
  EXPECT_EQ(run->nextLine(5000), "add\t/dev/ttyUSB1\n");
  fake.link("/dev/board.next", "ttyUSB0");
  ASSERT_EQ(::rename(fake.path("/dev/board.next").c_str(), fake.path("/dev/board").c_str()), 0);
  EXPECT_EQ(run->nextLine(5000), "remove\t/dev/ttyUSB1\n");
  EXPECT_EQ(run->nextLine(5000), "add\t/dev/ttyUSB0\n");
}

// The rule for a real port of this machine, and the USB rules of the captured tree, go through
// the machine's own udev: every line must parse, and the real port's rule must give its link.
// USB rules cannot match here without a USB device; udev checks their syntax alone.
TEST_F(OnePort, RulesPassTheMachinesOwnUdev) {
  const std::string port = runTool({"--list=short", "--no-counting"}).out;
  if (port.empty())
    GTEST_SKIP() << "this machine has no serial port for udevadm test to run on";
  const std::string first = port.substr(0, port.find('\n'));
  const std::string kernelName = first.substr(first.rfind('/') + 1);

  FakeRoot fake;
  prepare(fake);
  ::unlink(fake.path(std::string(kQemuUsbBus) + "1-2/1-2.1/serial").c_str());  // a path rule
  std::vector<std::string> command = {"/bin/bash", TTYENUM_UDEV_CHECK_SCRIPT,
                                      "/sys/class/tty/" + kernelName};
  for (const auto& [node, name] : {std::pair<std::string, std::string>{kernelName, "check/real"},
                                   {"ttyUSB0", "serial"},
                                   {"ttyUSB1", "path"},
                                   {"ttyACM0", "interface"}}) {
    const std::vector<std::string> args = {"--port=/dev/" + node, "--udev-rule=" + name};
    const ProcessResult rule = node == kernelName ? runTool(args) : runToolInFakeRoot(fake, args);
    ASSERT_EQ(rule.status, 0) << rule.err;
    const size_t start = rule.out.find("99-ttyenum-");  // saved as its first line says
    const std::string file = "/" + rule.out.substr(start, rule.out.find('\n') - start);
    fake.file(file, rule.out);
    command.push_back(fake.path(file));
  }

  const ProcessResult check = runProcess(command, currentEnvironment());
  if (check.status == 125) {
    if (underCi())
      FAIL() << check.err << "CI is set and installs udev, so this test must run.";
    GTEST_SKIP() << check.err;
  }
  ASSERT_EQ(check.status, 0) << check.out << check.err;
  std::istringstream log(check.out);
  std::string ours;
  for (std::string line; std::getline(log, line);) {
    if (line.find("99-ttyenum-") != std::string::npos &&
        line.find("Reading rules file") == std::string::npos)
      ours += line + "\n";
  }
  EXPECT_EQ(ours,
            kernelName + ": /etc/udev/rules.d/99-ttyenum-check-real.rules:3 LINK 'check/real'\n")
      << check.out;
}

}  // namespace
}  // namespace ttyenum::testing
