#include "discovery/port_enumerator.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;
using testing::recordText;

std::vector<std::string> listingText(const std::vector<PortInfo>& ports) {
  std::vector<std::string> lines;
  for (const PortInfo& port : ports)
    lines.push_back(recordText(port));
  return lines;
}

std::vector<std::string> portNames(const std::vector<PortInfo>& ports) {
  std::vector<std::string> names;
  for (const PortInfo& port : ports)
    names.push_back(port.portName);
  return names;
}

// Trees captured from real machines; the expected records follow what those machines showed.
// The x86 guest of 6.12 has the hardware of the 6.1 one in the serial-core layout: it lists the
// same, but for the kernel release in the gadget's manufacturer string.
TEST(PortEnumerator, ListsEveryRealPortOfTheCapturedMachines) {
  const std::string pnp =
      " serialNumber='PNP0501' product='UART' driver='serial' manufacturer='Linux' vendorId='' "
      "productId='' version='' inUse=false";
  const std::string pci2 =
      " serialNumber='pci:v00001B36d00000002sv00001AF4sd00001100bc07sc00i02' product='UART' "
      "driver='serial' manufacturer='' vendorId='1b36' productId='0002' version='' inUse=false";
  const std::string pci3 =
      " serialNumber='pci:v00001B36d00000003sv00001AF4sd00001100bc07sc00i02' product='UART' "
      "driver='serial' manufacturer='' vendorId='1b36' productId='0003' version='' inUse=false";
  const std::string usb0 =
      "/dev/ttyUSB0 serialNumber='1-0000:00:05.0-1' product='QEMU USB SERIAL' "
      "driver='ftdi_sio' manufacturer='QEMU' vendorId='0403' productId='6001' version=' 2.00' "
      "inUse=false";
  const std::string usb1 =
      "/dev/ttyUSB1 serialNumber='LAB-FTDI-0002' product='QEMU USB SERIAL' driver='ftdi_sio' "
      "manufacturer='QEMU' vendorId='0403' productId='6001' version=' 2.00' inUse=false";
  const auto acm0 = [](const std::string& release) {
    return "/dev/ttyACM0 serialNumber='LAB-ACM-0001' product='Gadget Serial v2.4' "
           "driver='cdc_acm' manufacturer='Linux " +
           release +
           " with dummy_udc' vendorId='0525' productId='a4a7' version=' 2.00' inUse=false";
  };
  const auto pl011 = [](const std::string& id) {
    return "/dev/ttyAMA0 serialNumber='" + id +
           "' product='UART' driver='uart-pl011' manufacturer='' vendorId='' productId='' "
           "version='' inUse=false";
  };
  const struct {
    std::string fixture;
    std::vector<std::string> listing;
  } rows[] = {
      {"qemu-debian12-6.1",
       {"/dev/ttyS0" + pnp, "/dev/ttyS1" + pnp, "/dev/ttyS4" + pci2, "/dev/ttyS5" + pci3,
        "/dev/ttyS6" + pci3, usb0, usb1, acm0("6.1.0-57-amd64")}},
      {"qemu-debian-6.12",
       {"/dev/ttyS0" + pnp, "/dev/ttyS1" + pnp, "/dev/ttyS4" + pci2, "/dev/ttyS5" + pci3,
        "/dev/ttyS6" + pci3, usb0, usb1, acm0("6.12.118+deb12-amd64")}},
      {"host-6.18", {"/dev/ttyS0" + pnp}},
      {"qemu-raspi3b-nobt-6.12",
       {"/dev/ttyS1 serialNumber='of:NserialT(null)Cbrcm,bcm2835-aux-uart' product='UART' "
        "driver='bcm2835-aux-uart' manufacturer='' vendorId='' productId='' version='' "
        "inUse=false",
        pl011("00241011")}},
      {"qemu-virt-6.1",
       {"/dev/ttyS0" + pci2, "/dev/ttyS1" + pci3, "/dev/ttyS2" + pci3, usb0, usb1,
        acm0("6.1.0-57-arm64"), pl011("00141011")}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fixture);
    FakeRoot fake;
    fake.unpackFixture(row.fixture);
    std::vector<PortInfo> ports;
    EXPECT_EQ(PortEnumerator(fake.root()).enumerate(ports), row.listing.size());
    EXPECT_EQ(listingText(ports), row.listing);
  }
}

// A Plug and Play UART as on 6.1: class link, device link, marker, id and uevent files.
void pnpPort(FakeRoot& fake, const std::string& node, const std::string& pnpName) {
  const std::string device = "/sys/devices/pnp0/" + pnpName;
  fake.file(device + "/resources", "state = active\nio 0x3f8-0x3ff\nirq 4\n");
  fake.file(device + "/id", "PNP0501\n");
  fake.file(device + "/uevent", "DRIVER=serial\n");
  fake.link(device + "/tty/" + node + "/device", "../../../" + pnpName);
  fake.link("/sys/class/tty/" + node, "../../devices/pnp0/" + pnpName + "/tty/" + node);
  fake.node(node);
}

// A port on a USB device directly on root port 1-<port> of bus 1.
void usbPort(FakeRoot& fake, const std::string& node, const std::string& ttyBelowInterface) {
  fake.link("/sys/class/tty/" + node,
            "../../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/" + ttyBelowInterface);
  fake.node(node);
}

// ttyS2 and ttyS10 with hardware and ttyS11 without, two USB adapters and an ACM port.
void buildMixedMachine(FakeRoot& fake) {
  pnpPort(fake, "ttyS2", "00:02");
  pnpPort(fake, "ttyS10", "00:0a");
  fake.link("/sys/class/tty/ttyS11", "../../devices/platform/serial8250/tty/ttyS11");
  fake.link("/sys/devices/platform/serial8250/tty/ttyS11/device", "../../../serial8250");
  fake.node("ttyS11");
  usbPort(fake, "ttyUSB5", "ttyUSB5/tty/ttyUSB5");
  usbPort(fake, "ttyUSB10", "ttyUSB10/tty/ttyUSB10");
  usbPort(fake, "ttyACM0", "tty/ttyACM0");
}

// Records already in the list stay first. The tool never sets the process locale, so glob's
// order stays byte order whatever LC_ALL or LC_COLLATE in the environment ask for.
TEST(PortEnumerator, AppendsInByteOrderPatternByPatternWhateverTheLocale) {
  FakeRoot fake;
  buildMixedMachine(fake);
  for (const char* locale : {"", "en_US.UTF-8", "C.UTF-8"}) {
    SCOPED_TRACE(locale);
    ::setenv("LC_ALL", locale, 1);
    ::setenv("LC_COLLATE", locale, 1);
    std::vector<PortInfo> ports(1);
    ports[0].portName = "already there";
    EXPECT_EQ(PortEnumerator(fake.root()).enumerate(ports), 5u);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_COLLATE");
    EXPECT_EQ(portNames(ports),
              (std::vector<std::string>{"already there", "/dev/ttyS10", "/dev/ttyS2",
                                        "/dev/ttyUSB10", "/dev/ttyUSB5", "/dev/ttyACM0"}));
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
  }
}

TEST(PortEnumerator, NoMatchingNodeAppendsNothing) {
  FakeRoot noDev;
  FakeRoot otherNodes;
  otherNodes.node("tty0");
  otherNodes.node("ttyAMA0");
  otherNodes.node("ttyUSB");  // matches, but has no class entry
  for (const FakeRoot* fake : {&noDev, &otherNodes}) {
    SCOPED_TRACE(fake->folder());
    std::vector<PortInfo> ports(2);
    EXPECT_EQ(PortEnumerator(fake->root()).enumerate(ports), 0u);
    EXPECT_EQ(ports.size(), 2u);
  }
}

struct ChildRun {
  int status = 0;
  long peakKiB = 0;  // the child's peak resident set
};

// Runs `work` in a child process that an alarm ends after five seconds.
ChildRun runInChild(const std::function<void()>& work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(5);
    work();
    ::_exit(0);
  }
  ChildRun run;
  struct rusage usage {};
  ::wait4(pid, &run.status, 0, &usage);
  run.peakKiB = usage.ru_maxrss;
  return run;
}

// A FIFO with no writer would block an open for reading forever; a 100 MB attribute would be
// held in memory several times over and printed whole.
TEST(PortEnumerator, FifoAndHugeAttributesNeitherHangNorBloat) {
  FakeRoot fake;
  buildMixedMachine(fake);
  const std::string fifo = fake.path("/sys/devices/pnp0/00:02/id");
  ASSERT_EQ(::unlink(fifo.c_str()), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string huge = fake.path("/sys/devices/pnp0/00:0a/id");
  fake.file("/sys/devices/pnp0/00:0a/id", std::string(128 * 1024, 'x'));
  ASSERT_EQ(::truncate(huge.c_str(), 100 << 20), 0);  // sparse beyond the x's

  const std::string report = fake.path("/report");
  const ChildRun idle = runInChild([] {});
  const ChildRun listing = runInChild([&] {
    std::vector<PortInfo> ports;
    PortEnumerator(fake.root()).enumerate(ports);
    std::ofstream out(report);
    for (const PortInfo& port : ports)
      out << port.portName << " " << port.serialNumber.size() << "\n";
  });
  ASSERT_TRUE(WIFEXITED(listing.status)) << "ended by signal " << WTERMSIG(listing.status);
  std::ostringstream shown;
  shown << std::ifstream(report).rdbuf();
  EXPECT_EQ(shown.str(),
            "/dev/ttyS10 65536\n/dev/ttyS2 0\n/dev/ttyUSB10 0\n/dev/ttyUSB5 0\n/dev/ttyACM0 0\n");
  EXPECT_LT(listing.peakKiB, idle.peakKiB + 16 * 1024);
}

}  // namespace
}  // namespace ttyenum
