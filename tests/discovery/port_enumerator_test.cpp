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
#include "support/sysfs_tree.h"

namespace ttyenum {
namespace {

using testing::busDevice;
using testing::deviceTreeDevice;
using testing::FakeRoot;
using testing::lastComponent;
using testing::recordText;
using testing::subsystem;
using testing::ttyOver;
using testing::upToSys;
using testing::virtualTty;

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
// The i.MX6 (ttymxc) and ZynqMP (ttyPS) UARTs are device-tree platform devices that only the
// group beyond the four patterns finds; the serial8250 placeholders of both stay out. The x86
// guest of 6.12 has the hardware of the 6.1 one in the serial-core layout: it lists the same, but
// for the kernel release in the gadget's manufacturer string.
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
  const auto onChip = [](const std::string& node, const std::string& modalias,
                         const std::string& driver) {
    return node + " serialNumber='" + modalias + "' product='UART' driver='" + driver +
           "' manufacturer='' vendorId='' productId='' version='' inUse=false";
  };
  const std::string imx = "of:NserialT(null)Cfsl,imx6q-uartCfsl,imx21-uart";
  const std::string zynq = "of:NserialT(null)Cxlnx,zynqmp-uartCcdns,uart-r1p12";
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
      {"qemu-sabrelite-6.1",
       {onChip("/dev/ttymxc0", imx, "imx-uart"), onChip("/dev/ttymxc1", imx, "imx-uart")}},
      {"qemu-zcu102-6.1",
       {onChip("/dev/ttyPS0", zynq, "xuartps"), onChip("/dev/ttyPS1", zynq, "xuartps")}},
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

// A UART of the device tree: a platform device with its of_node, and its tty.
void deviceTreeUart(FakeRoot& fake, const std::string& folder, const std::string& driver,
                    const std::string& modalias, const std::string& node, bool serialCore) {
  deviceTreeDevice(fake, folder, "platform", driver, modalias,
                   "soc/serial@" + lastComponent(folder).substr(0, 8));
  ttyOver(fake, folder, node, 0, serialCore);
}

// The XR21V1410's out-of-tree driver registers its tty on the USB interface.
void exarAdapter(FakeRoot& fake) {
  const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
  for (const auto& [name, text] : {std::pair<std::string, std::string>{"idVendor", "04e2"},
                                   {"idProduct", "1410"},
                                   {"manufacturer", "Exar Corp."},
                                   {"product", "XR21V1410 USB-UART IC"},
                                   {"version", " 2.00"}})
    fake.file(usb + "/" + name, text + "\n");
  fake.link("/sys/bus/usb/devices/1-2", "../../../devices/pci0000:00/0000:00:14.0/usb1/1-2");
  const std::string interface = usb + "/1-2:1.0";
  fake.file(interface + "/uevent", "DEVTYPE=usb_interface\nDRIVER=cdc_xr_usb_serial\n");
  fake.file(interface + "/bInterfaceNumber", "00\n");
  subsystem(fake, interface, "usb");
  ttyOver(fake, interface, "ttyXRUSB0", 0, false);
}

// Ttys that are no serial port of this machine, whatever their device shows.
void portsThatStayOut(FakeRoot& fake, bool serialCore) {
  for (const char* node :
       {"console", "ptmx", "tty", "tty1", "tty63", "ttyprintk", "ttyGS0", "ttyp0", "ptyp0"})
    virtualTty(fake, node);

  // RFCOMM's device is the Bluetooth connection, whose class link leads through the USB dongle.
  const std::string connection =
      "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-7/1-7:1.0/bluetooth/hci0/hci0:256";
  fake.file(connection + "/uevent", "DEVTYPE=link\n");
  fake.link(connection + "/subsystem", upToSys(connection) + "class/bluetooth");
  ttyOver(fake, connection, "rfcomm0", 0, false);

  // A remote processor's channel and a POWER hypervisor console: firmware describes both.
  const std::string channel =
      "/sys/devices/platform/soc/4080000.remoteproc/remoteproc/"
      "remoteproc0/virtio0/virtio0.rpmsg-tty.-1.1024";
  deviceTreeDevice(fake, channel, "rpmsg", "rpmsg_tty", "rpmsg:rpmsg-tty",
                   "soc/remoteproc@4080000");
  ttyOver(fake, channel, "ttyRPMSG0", 0, false);
  deviceTreeDevice(fake, "/sys/devices/vio/30000004", "vio", "hvcs", "vio:TserialSIBM,vty-server",
                   "vdevice/vty-server@30000004");
  ttyOver(fake, "/sys/devices/vio/30000004", "hvcs0", 0, false);

  // The host's UART seen from a container: in its /sys, not in its /dev.
  deviceTreeUart(fake, "/sys/devices/platform/soc/21ec000.serial", "imx-uart",
                 "of:NserialT(null)Cfsl,imx6q-uartCfsl,imx21-uart", "ttymxc2", serialCore);
  ASSERT_EQ(::unlink(fake.path("/dev/ttymxc2").c_str()), 0);
}

// Every entry of /sys/class/tty that no pattern matches is judged after the four groups, in byte
// order of the names (capitals first: ttyPS0 before ttymxc0), by the probe its device's bus picks.
TEST(PortEnumerator, OtherTtysWithHardwareFollowTheFourGroupsInByteOrder) {
  const std::string uart = "' product='UART' driver='";
  const std::string noIds = "' manufacturer='' vendorId='' productId='' version='' inUse=false";
  const std::vector<std::string> listing = {
      "/dev/ttyS0 serialNumber='PNP0501' product='UART' driver='serial' manufacturer='Linux' "
      "vendorId='' productId='' version='' inUse=false",
      "/dev/ttySC0 serialNumber='spi:sc16is752" + uart + "sc16is7xx" + noIds,
      "/dev/ttyUSB0 serialNumber='' product='' driver='' manufacturer='' vendorId='' "
      "productId='' version='' inUse=false",
      "/dev/ttyLP0 serialNumber='acpi:NXP0018:" + uart + "fsl-lpuart" + noIds,
      "/dev/ttyMAX0 serialNumber='spi:max14830" + uart + "max310x" + noIds,
      "/dev/ttyPS0 serialNumber='of:NserialT(null)Cxlnx,zynqmp-uartCcdns,uart-r1p12" + uart +
          "xuartps" + noIds,
      "/dev/ttyTHS1 serialNumber='of:NserialT(null)Cnvidia,tegra194-hsuartCnvidia,tegra186-hsuart" +
          uart + "serial-tegra" + noIds,
      "/dev/ttyXRUSB0 serialNumber='' product='XR21V1410 USB-UART IC' driver='cdc_xr_usb_serial' "
      "manufacturer='Exar Corp.' vendorId='04e2' productId='1410' version=' 2.00' inUse=false",
      "/dev/ttymxc0 serialNumber='of:NserialT(null)Cfsl,imx6q-uartCfsl,imx21-uart" + uart +
          "imx-uart" + noIds,
  };
  const std::vector<PortKind> kinds = {PortKind::kPlugAndPlay, PortKind::kSpi, PortKind::kUsb,
                                       PortKind::kPlatform,    PortKind::kSpi, PortKind::kPlatform,
                                       PortKind::kPlatform,    PortKind::kUsb, PortKind::kPlatform};
  for (bool serialCore : {false, true}) {
    SCOPED_TRACE(serialCore ? "since 6.5" : "before 6.5");
    FakeRoot fake;
    pnpPort(fake, "ttyS0", "00:01");
    busDevice(fake, "/sys/devices/platform/serial8250", "platform", "serial8250",
              "platform:serial8250");
    ttyOver(fake, "/sys/devices/platform/serial8250", "ttyS1", 1, serialCore);
    const std::string sc16is752 = "/sys/devices/platform/soc/3f215080.spi/spi_master/spi1/spi1.0";
    deviceTreeDevice(fake, sc16is752, "spi", "sc16is7xx", "spi:sc16is752",
                     "soc/spi@7e215080/sc16is752@0");
    ttyOver(fake, sc16is752, "ttySC0", 0, serialCore);
    usbPort(fake, "ttyUSB0", "ttyUSB0/tty/ttyUSB0");

    deviceTreeUart(fake, "/sys/devices/platform/soc/2020000.serial", "imx-uart",
                   "of:NserialT(null)Cfsl,imx6q-uartCfsl,imx21-uart", "ttymxc0", serialCore);
    deviceTreeUart(fake, "/sys/devices/platform/axi/ff000000.serial", "xuartps",
                   "of:NserialT(null)Cxlnx,zynqmp-uartCcdns,uart-r1p12", "ttyPS0", serialCore);
    deviceTreeUart(fake, "/sys/devices/platform/bus@0/3100000.serial", "serial-tegra",
                   "of:NserialT(null)Cnvidia,tegra194-hsuartCnvidia,tegra186-hsuart", "ttyTHS1",
                   serialCore);
    const std::string acpi = "/sys/devices/platform/NXP0018:00";
    busDevice(fake, acpi, "platform", "fsl-lpuart", "acpi:NXP0018:");
    fake.link(acpi + "/firmware_node", "../../LNXSYSTM:00/LNXSYBUS:00/NXP0018:00");
    ttyOver(fake, acpi, "ttyLP0", 0, serialCore);
    const std::string max14830 = "/sys/devices/platform/soc/3f204000.spi/spi_master/spi0/spi0.0";
    deviceTreeDevice(fake, max14830, "spi", "max310x", "spi:max14830",
                     "soc/spi@7e204000/max14830@0");
    ttyOver(fake, max14830, "ttyMAX0", 0, serialCore);
    exarAdapter(fake);
    portsThatStayOut(fake, serialCore);
    fake.node("ttyFOO0");  // a node without a class entry

    std::vector<PortInfo> ports;
    std::vector<PortFacts> facts;
    EXPECT_EQ(PortEnumerator(fake.root()).enumerate(ports, facts), listing.size());
    EXPECT_EQ(listingText(ports), listing);
    std::vector<PortKind> found;
    for (const PortFacts& fact : facts)
      found.push_back(fact.kind);
    EXPECT_EQ(found, kinds);
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
