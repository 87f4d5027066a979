// One port by its path (--port) and a udev rule that names it (--udev-rule), from the built
// binary in a private namespace over the captured Debian 12 tree (kernel 6.1) with udev's links;
// then the rules checked by the machine's own udev where it has one.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using OnePort = FakeRootRun;

const char kFixture[] = "qemu-debian12-6.1";

struct Row {
  const char* name;
  std::vector<std::string> args;
  std::string out;
  std::string err;
  int status;
};

// The captured tree with udev's links, and character devices with the kernel's numbers for the
// nodes the rows name: a captured node is a plain file, which --port keeps nothing for.
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
  fake.link("/own-link-to-ttyUSB1",
            "/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0");
}

void expectRows(const FakeRoot& fake, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ProcessResult result = runToolInFakeRoot(fake, row.args);
    EXPECT_EQ(result.out, row.out);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.status, row.status);
  }
}

const std::string kUsb1Rule =
    "# Save as /etc/udev/rules.d/99-ttyenum-lab-ftdi.rules\n"
    "# Matches the USB device 0403:6001 with serial number LAB-FTDI-0002: no other USB device "
    "here has these ids and that serial number, so the name follows the adapter into any USB "
    "socket.\n"
    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
    "ATTRS{serial}==\"LAB-FTDI-0002\", SYMLINK+=\"lab/ftdi\"\n";

TEST_F(OnePort, PortKeepsTheNodeBehindAPathInEveryForm) {
  FakeRoot fake;
  prepare(fake);
  const std::string usb1 = "/dev/ttyUSB1\nFound serial ports: 1\n";
  const std::string none = "Found serial ports: 0\n";
  expectRows(
      fake,
      {
          {"the node", {"--port=/dev/ttyUSB1", "-l", "short"}, usb1, "", 0},
          {"a by-id link",
           {"--port=/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0", "-l",
            "short"},
           usb1,
           "",
           0},
          {"a by-path link",
           {"--port", "/dev/serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0", "--format=%c %u"},
           "/dev/ttyUSB0 0403:6001\nFound serial ports: 1\n",
           "",
           0},
          {"a link of one's own in /dev", {"--port=/dev/lab/board", "-l", "short"}, usb1, "", 0},
          {"a link of one's own elsewhere, to a link",
           {"--port=" + fake.path("/own-link-to-ttyUSB1"), "-l", "short"},
           usb1,
           "",
           0},
          {"an on-board port",
           {"--port=/dev/ttyS1", "--format=%c %D"},
           "/dev/ttyS1 4:65\nFound serial ports: 1\n",
           "",
           0},
          {"with a filter that keeps it",
           {"--port=/dev/ttyUSB1", "--vid=0403", "-l", "short"},
           usb1,
           "",
           0},
          {"with a filter that drops it",
           {"--port=/dev/ttyUSB1", "--pid=a4a7", "-l", "short"},
           none,
           "",
           0},
          {"a node that is a plain file", {"--port=/dev/ttyS0", "-l", "short"}, none, "", 0},
          {"a folder", {"--port=/dev/serial/by-id", "-l", "short"}, none, "", 0},
          {"a stale link",
           {"--port=/dev/serial/by-id/stale-link-to-ttyUSB10", "-l", "short"},
           none,
           "",
           0},
          {"a missing path", {"--port=/dev/ttyUSB7"}, none, "", 0},
          {"the JSON form",
           {"--port=/dev/ttyACM0", "-J"},
           "{\"ports\": [{\"portName\": \"/dev/ttyACM0\", \"serialNumber\": \"LAB-ACM-0001\", "
           "\"product\": \"Gadget Serial v2.4\", \"driver\": \"cdc_acm\", \"manufacturer\": "
           "\"Linux 6.1.0-57-amd64 with dummy_udc\", \"vendorId\": \"0525\", \"productId\": "
           "\"a4a7\", \"version\": \" 2.00\", \"inUse\": false, \"holder\": null, \"kind\": "
           "\"usb\", \"device\": \"166:0\", \"usbLocation\": \"3-1\", \"usbInterface\": 0, "
           "\"links\": [\"/dev/serial/by-id/usb-Linux_Gadget_Serial_v2.4_LAB-ACM-0001-if00\"], "
           "\"group\": \"root\", \"access\": \"rw\"}]}\n",
           "",
           0},
      });
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
  const std::string gadgetRule =
      "# Save as /etc/udev/rules.d/99-ttyenum-gadget.rules\n"
      "# Matches the USB device 0525:a4a7 with serial number LAB-ACM-0001, interface 00: no other "
      "USB device here has these ids and that serial number, so the name follows the adapter into "
      "any USB socket.\n"
      "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0525\", ATTRS{idProduct}==\"a4a7\", "
      "ATTRS{serial}==\"LAB-ACM-0001\", ENV{ID_USB_INTERFACE_NUM}==\"00\", SYMLINK+=\"gadget\"\n";
  const std::string uartRule =
      "# Save as /etc/udev/rules.d/99-ttyenum-uart.rules\n"
      "# Matches the kernel name ttyS1: a port that is not on USB keeps its kernel name from boot "
      "to boot, so that name is already stable.\n"
      "SUBSYSTEM==\"tty\", KERNEL==\"ttyS1\", SYMLINK+=\"uart\"\n";
  const std::string needsOne = "ttyenum: --udev-rule needs exactly one port; the filters keep ";
  expectRows(
      fake,
      {
          {"a unique serial, by --port",
           {"--port=/dev/lab/board", "--udev-rule=lab/ftdi"},
           kUsb1Rule,
           "",
           0},
          {"forms and counting change nothing",
           {"--udev-rule", "lab/ftdi", "--vid=0403", "--pid=6001", "--state=free", "--format=%c",
            "-l", "short", "--no-counting", "--port=/dev/ttyUSB1"},
           kUsb1Rule,
           "",
           0},
          {"a gadget with two interfaces", {"--vid=0525", "--udev-rule=gadget"}, gadgetRule, "", 0},
          {"an on-board port", {"--port=/dev/ttyS1", "--udev-rule=uart"}, uartRule, "", 0},
          {"no port", {"--vid=ffff", "--udev-rule=x"}, "", needsOne + "0\n", 1},
          {"two ports",
           {"--vid=0403", "--udev-rule=x"},
           "",
           needsOne + "2\n/dev/ttyUSB0\n/dev/ttyUSB1\n",
           1},
      });

  // Once ttyUSB0 reports ttyUSB1's serial, the two are told apart by their sockets.
  fake.file("/sys/devices/pci0000:00/0000:00:05.0/usb1/1-1/serial", "LAB-FTDI-0002\n");
  const std::string socketTail =
      ": another USB device with the same ids has the same serial number, so the name follows the "
      "USB socket, not the adapter; keep the adapter in that socket.\n";
  expectRows(fake, {
                       {"a shared serial, the first",
                        {"--port=/dev/ttyUSB0", "--udev-rule=left"},
                        "# Save as /etc/udev/rules.d/99-ttyenum-left.rules\n"
                        "# Matches the USB socket pci-0000:00:05.0-usb-0:1:1.0" +
                            socketTail +
                            "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:05.0-usb-0:1:1.0\", "
                            "SYMLINK+=\"left\"\n",
                        "",
                        0},
                       {"a shared serial, the second",
                        {"--port=/dev/ttyUSB1", "--udev-rule=right"},
                        "# Save as /etc/udev/rules.d/99-ttyenum-right.rules\n"
                        "# Matches the USB socket pci-0000:00:05.0-usb-0:2.1:1.0" +
                            socketTail +
                            "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:05.0-usb-0:2.1:1.0\", "
                            "SYMLINK+=\"right\"\n",
                        "",
                        0},
                   });
}

// The rule for a real port of this machine, and the USB rules of the captured tree, go through
// the machine's own udev: every line must parse, and the real port's rule must give its link.
// USB rules cannot match here without a USB device; udev checks their syntax alone.
TEST_F(OnePort, RulesPassTheMachinesOwnUdev) {
  const ProcessResult listing = runTool({"--list=short", "--no-counting"});
  std::string port;
  std::istringstream names(listing.out);
  for (std::string name; port.empty() && std::getline(names, name);) {
    struct stat entry {};
    if (::stat(("/sys/class/tty/" + name.substr(name.rfind('/') + 1)).c_str(), &entry) == 0)
      port = name;
  }
  if (port.empty())
    GTEST_SKIP() << "this machine has no serial port for udevadm test to run on";
  const std::string kernelName = port.substr(port.rfind('/') + 1);

  FakeRoot fake;
  prepare(fake);
  std::vector<std::string> files;
  const auto save = [&](const ProcessResult& rule) {
    ASSERT_EQ(rule.status, 0) << rule.err;
    const std::string file = rule.out.substr(
        rule.out.find("99-ttyenum-"), rule.out.find(".rules\n") + 6 - rule.out.find("99-ttyenum-"));
    std::ofstream(fake.path("/" + file)) << rule.out;
    files.push_back(fake.path("/" + file));
  };
  save(runTool({"--port=" + port, "--udev-rule=ttyenum-check/real"}));
  save(runToolInFakeRoot(fake, {"--port=/dev/ttyUSB1", "--udev-rule=check/serial"}));
  save(runToolInFakeRoot(fake, {"--port=/dev/ttyACM0", "--udev-rule=check/interface"}));
  ::unlink(fake.path("/sys/devices/pci0000:00/0000:00:05.0/usb1/1-2/1-2.1/serial").c_str());
  save(runToolInFakeRoot(fake, {"--port=/dev/ttyUSB1", "--udev-rule=check/path"}));

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
  EXPECT_EQ(ours[0], kernelName +
                         ": /etc/udev/rules.d/99-ttyenum-ttyenum-check-real.rules:3 "
                         "LINK 'ttyenum-check/real'");
}

}  // namespace
}  // namespace ttyenum::testing
