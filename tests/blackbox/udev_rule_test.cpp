// One port by its path (--port) and a udev rule that names it (--udev-rule), from the built
// binary in a private namespace over the captured Debian 12 tree (kernel 6.1) with udev's links;
// then the rules checked by the machine's own udev where it has one.
#include <signal.h>
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

TEST_F(OnePort, PortKeepsTheNodeBehindAPath) {
  FakeRoot fake;
  prepare(fake);
  const char* const usb1 = "/dev/ttyUSB1 188:1\n";
  const std::string rows[][2] = {
      {"/dev/ttyUSB1", usb1},
      {"/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0", usb1},
      {"/dev/serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0", "/dev/ttyUSB0 188:0\n"},
      {"/dev/lab/board", usb1},
      {fake.path("/own-link"), usb1},
      {"/dev/ttyS1", "/dev/ttyS1 4:65\n"},
      {"/dev/ttyS0", ""},  // a plain file
      {"/dev/serial/by-id", ""},
      {"/dev/serial/by-id/stale-link-to-ttyUSB10", ""},
      {"/dev/ttyUSB7", ""},
  };
  for (const auto& [port, out] : rows) {
    SCOPED_TRACE(port);
    const ProcessResult result =
        runToolInFakeRoot(fake, {"--port=" + port, "--no-counting", "--format=%c %D"});
    EXPECT_EQ(result.out + result.err, out);
  }
  // With the other filters: all must pass.
  EXPECT_EQ(runToolInFakeRoot(fake, {"--port", "/dev/lab/board", "--pid=a4a7"}).out,
            "Found serial ports: 0\n");
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
  const pid_t pid = toolPid(*run);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(run->finish(10000).status, 0);
}

TEST_F(OnePort, UdevRuleForTheOnePortTheFiltersKeep) {
  FakeRoot fake;
  prepare(fake);
  const std::string usb1Rule =
      "# Save as /etc/udev/rules.d/99-ttyenum-lab-ftdi.rules\n"
      "# Matches the USB device 0403:6001 with serial number LAB-FTDI-0002: no other USB device "
      "here has these ids and that serial number, so the name follows the adapter into any USB "
      "socket.\nSUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
      "ATTRS{serial}==\"LAB-FTDI-0002\", SYMLINK+=\"lab/ftdi\"\n";
  const std::string needsOne = "ttyenum: --udev-rule needs exactly one port; the filters keep ";
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int status;
  } rows[] = {
      {{"--udev-rule=lab/ftdi", "--port=/dev/lab/board", "--format=%c", "-l", "short",
        "--no-counting"},
       usb1Rule,
       "",
       0},
      {{"--udev-rule", "lab/ftdi", "--vid=0403", "--state=free"},
       "",
       needsOne + "2\n/dev/ttyUSB0\n/dev/ttyUSB1\n",
       1},
      {{"--udev-rule=lab/ftdi", "--vid=ffff"}, "", needsOne + "0\n", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[1]);
    const ProcessResult result = runToolInFakeRoot(fake, row.args);
    EXPECT_EQ(result.out, row.out);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.status, row.status);
  }
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
  std::vector<std::string> files;
  const auto save = [&](const ProcessResult& rule, const std::string& file) {
    ASSERT_EQ(rule.status, 0) << rule.err;
    fake.file("/" + file, rule.out);
    files.push_back(fake.path("/" + file));
  };
  save(runTool({"--port=/dev/" + kernelName, "--udev-rule=check/real"}),
       "99-ttyenum-check-real.rules");
  save(runToolInFakeRoot(fake, {"--port=/dev/ttyUSB1", "--udev-rule=serial"}),
       "99-ttyenum-serial.rules");
  save(runToolInFakeRoot(fake, {"--port=/dev/ttyACM0", "--udev-rule=interface"}),
       "99-ttyenum-interface.rules");
  ::unlink(fake.path("/sys/devices/pci0000:00/0000:00:05.0/usb1/1-2/1-2.1/serial").c_str());
  save(runToolInFakeRoot(fake, {"--port=/dev/ttyUSB1", "--udev-rule=path"}),
       "99-ttyenum-path.rules");

  std::vector<std::string> command = {"/bin/bash", TTYENUM_UDEV_CHECK_SCRIPT,
                                      "/sys/class/tty/" + kernelName};
  command.insert(command.end(), files.begin(), files.end());
  const ProcessResult check = runProcess(command, currentEnvironment());
  if (check.status == 125) {
    if (underCi())
      FAIL() << check.err << "CI is set and installs udev, so this test must run.";
    GTEST_SKIP() << check.err;
  }
  ASSERT_EQ(check.status, 0) << check.out << check.err;
  std::istringstream log(check.out);
  std::vector<std::string> ours;
  for (std::string line; std::getline(log, line);) {
    if (line.find("99-ttyenum-") != std::string::npos &&
        line.find("Reading rules file") == std::string::npos)
      ours.push_back(line);
  }
  ASSERT_EQ(ours.size(), 1u) << check.out;
  EXPECT_EQ(ours[0],
            kernelName + ": /etc/udev/rules.d/99-ttyenum-check-real.rules:3 LINK 'check/real'");
}

}  // namespace
}  // namespace ttyenum::testing
