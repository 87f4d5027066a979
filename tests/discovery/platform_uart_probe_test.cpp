#include "discovery/platform_uart_probe.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;
using testing::recordText;

// "../" once for every component of a /sys folder, so that a link made in it reaches /sys.
std::string upToSys(const std::string& sysFolder) {
  std::string up;
  for (size_t at = sysFolder.find('/', 1); at != std::string::npos;
       at = sysFolder.find('/', at + 1))
    up += "../";
  return up;
}

std::string lastComponent(const std::string& folder) {
  return folder.substr(folder.rfind('/') + 1);
}

void subsystem(FakeRoot& fake, const std::string& folder, const std::string& bus) {
  fake.link(folder + "/subsystem", upToSys(folder) + "bus/" + bus);
}

void pnpUart(FakeRoot& fake, const std::string& folder, const std::string& resources) {
  fake.file(folder + "/id", "PNP0501\n");
  fake.file(folder + "/resources", resources);
  fake.file(folder + "/options", "");
  fake.file(folder + "/uevent", "DRIVER=serial\n");
  subsystem(fake, folder, "pnp");
}

void pciUart(FakeRoot& fake, const std::string& folder, const std::string& device,
             const std::string& modalias) {
  fake.file(folder + "/vendor", "0x1b36\n");
  fake.file(folder + "/device", "0x" + device + "\n");
  fake.file(folder + "/modalias", modalias + "\n");
  fake.file(folder + "/resource",
            "0x000000000000c040 0x000000000000c047 0x0000000000040101\n"
            "0x0000000000000000 0x0000000000000000 0x0000000000000000\n");
  fake.file(folder + "/uevent", "DRIVER=serial\nPCI_CLASS=70002\nPCI_ID=1B36:" + device +
                                    "\nPCI_SLOT_NAME=" + lastComponent(folder) +
                                    "\nMODALIAS=" + modalias + "\n");
  subsystem(fake, folder, "pci");
}

// A tty over the hardware folder as captured on Debian 12 (6.1): the tty right below the device.
// Since 6.5 the serial core puts a controller "<device>:0" and a port "<device>:0.<line>" between
// them, as seen on a 6.18 machine; the tty's device link then names the port.
void ttyOver(FakeRoot& fake, const std::string& hardware, const std::string& node, int line,
             bool serialCore) {
  std::string device = hardware;
  if (serialCore) {
    const std::string controller = hardware + "/" + lastComponent(hardware) + ":0";
    fake.file(controller + "/uevent", "DEVTYPE=ctrl\nDRIVER=ctrl\n");
    subsystem(fake, controller, "serial-base");
    device = controller + "/" + lastComponent(controller) + "." + std::to_string(line);
    fake.file(device + "/uevent", "DEVTYPE=port\nDRIVER=port\n");
    subsystem(fake, device, "serial-base");
  }
  const std::string ttyFolder = device + "/tty/" + node;
  fake.file(ttyFolder + "/dev", "4:" + std::to_string(64 + line) + "\n");
  fake.file(ttyFolder + "/uevent",
            "MAJOR=4\nMINOR=" + std::to_string(64 + line) + "\nDEVNAME=" + node + "\n");
  fake.link(ttyFolder + "/device", "../../../" + lastComponent(device));
  fake.link(ttyFolder + "/subsystem", upToSys(ttyFolder) + "class/tty");
  fake.link("/sys/class/tty/" + node, "../.." + ttyFolder.substr(4));
  fake.node(node);
}

void platformDevice(FakeRoot& fake, const std::string& folder, const std::string& driver,
                    const std::string& modalias) {
  fake.file(folder + "/uevent", "DRIVER=" + driver + "\nMODALIAS=" + modalias + "\n");
  fake.file(folder + "/modalias", modalias + "\n");
  fake.file(folder + "/driver_override", "(null)\n");
  subsystem(fake, folder, "platform");
}

void ofNode(FakeRoot& fake, const std::string& folder, const std::string& node) {
  fake.link(folder + "/of_node", upToSys(folder) + "firmware/devicetree/base/soc/" + node);
}

// On-chip UARTs as on a Raspberry Pi 3 (Debian arm64, 6.12): the mini UART, a device-tree
// platform device, and the PL011 on the amba bus. Here the uevents put OF_ lines first.
void onChipUarts(FakeRoot& fake, bool serialCore) {
  const std::string mini = "/sys/devices/platform/soc/3f215040.serial";
  platformDevice(fake, mini, "bcm2835-aux-uart", "of:NserialT(null)Cbrcm,bcm2835-aux-uart");
  fake.file(mini + "/uevent",
            "OF_NAME=serial\nOF_FULLNAME=/soc/serial@7e215040\nDRIVER=bcm2835-aux-uart\n"
            "MODALIAS=of:NserialT(null)Cbrcm,bcm2835-aux-uart\n");
  ofNode(fake, mini, "serial@7e215040");
  ttyOver(fake, mini, "ttyS2", 2, serialCore);

  const std::string pl011 = "/sys/devices/platform/soc/3f201000.serial";
  fake.file(pl011 + "/id", "00241011\n");
  fake.file(pl011 + "/resource", "\t000000003f201000\t000000003f2011ff\t0000000000000200\n");
  fake.file(pl011 + "/uevent",
            "OF_NAME=serial\nOF_COMPATIBLE_0=arm,pl011\nDRIVER=uart-pl011\nAMBA_ID=00241011\n"
            "MODALIAS=amba:d00241011\n");
  ofNode(fake, pl011, "serial@7e201000");
  subsystem(fake, pl011, "amba");
  ttyOver(fake, pl011, "ttyAMA0", 0, serialCore);

  // A platform device that no firmware describes.
  platformDevice(fake, "/sys/devices/platform/uart-sim.0", "uart-sim", "platform:uart-sim");
  ttyOver(fake, "/sys/devices/platform/uart-sim.0", "ttyS3", 3, serialCore);
}

// One machine's UARTs in either layout: two PNP ports, the legacy placeholder device, a PCI
// port, a device that carries both marker files, and the on-chip UARTs.
void buildMachine(FakeRoot& fake, bool serialCore) {
  pnpUart(fake, "/sys/devices/pnp0/00:01", "state = active\nio 0x3f8-0x3ff\nirq 4\n");
  ttyOver(fake, "/sys/devices/pnp0/00:01", "ttyS0", 0, serialCore);

  // The real placeholder has no firmware link; this one has, so that only its name rejects it.
  const std::string legacy = "/sys/devices/platform/serial8250";
  platformDevice(fake, legacy, "serial8250", "platform:serial8250");
  fake.link(legacy + "/firmware_node", "../../LNXSYSTM:00/LNXSYBUS:00/PNP0501:00");
  ttyOver(fake, legacy, "ttyS1", 1, serialCore);

  onChipUarts(fake, serialCore);

  pciUart(fake, "/sys/devices/pci0000:00/0000:00:03.0", "0002",
          "pci:v00001B36d00000002sv00001AF4sd00001100bc07sc00i02");
  ttyOver(fake, "/sys/devices/pci0000:00/0000:00:03.0", "ttyS4", 4, serialCore);

  const std::string both = "/sys/devices/pnp0/00:05";
  pnpUart(fake, both, "state = active\nio 0x2e8-0x2ef\nirq 3\n");
  fake.file(both + "/resource", "0x00000000000002e8 0x00000000000002ef 0x0000000000000100\n");
  fake.file(both + "/vendor", "0x8086\n");
  ttyOver(fake, both, "ttyS5", 5, serialCore);

  fake.node("ttyS9");  // no class entry at all
}

TEST(ProbePlatformUart, SameResultBeforeAndSinceTheSerialCoreLayout) {
  const std::string untouched =
      "kept serialNumber='' product='' driver='' manufacturer='' vendorId='' productId='' "
      "version='' inUse=false";
  const std::pair<std::string, std::string> rows[] = {
      {"/dev/ttyS0",
       "/dev/ttyS0 serialNumber='PNP0501' product='UART' driver='serial' manufacturer='Linux' "
       "vendorId='' productId='' version='' inUse=false"},
      {"/dev/ttyS1", untouched},
      {"/dev/ttyS2",
       "/dev/ttyS2 serialNumber='of:NserialT(null)Cbrcm,bcm2835-aux-uart' product='UART' "
       "driver='bcm2835-aux-uart' manufacturer='' vendorId='' productId='' version='' "
       "inUse=false"},
      {"/dev/ttyS3", untouched},
      {"/dev/ttyAMA0",
       "/dev/ttyAMA0 serialNumber='00241011' product='UART' driver='uart-pl011' manufacturer='' "
       "vendorId='' productId='' version='' inUse=false"},
      {"/dev/ttyS4",
       "/dev/ttyS4 serialNumber='pci:v00001B36d00000002sv00001AF4sd00001100bc07sc00i02' "
       "product='UART' driver='serial' manufacturer='' vendorId='1b36' productId='0002' "
       "version='' inUse=false"},
      {"/dev/ttyS5",
       "/dev/ttyS5 serialNumber='PNP0501' product='UART' driver='serial' manufacturer='Linux' "
       "vendorId='' productId='' version='' inUse=false"},
      {"/dev/ttyS9", untouched},
      {"/de", untouched},
  };
  // A rejected node leaves the facts as they were.
  const std::map<std::string, PortKind> kinds = {{"/dev/ttyS0", PortKind::kPlugAndPlay},
                                                 {"/dev/ttyS1", PortKind::kUsb},
                                                 {"/dev/ttyS2", PortKind::kPlatform},
                                                 {"/dev/ttyS3", PortKind::kUsb},
                                                 {"/dev/ttyAMA0", PortKind::kAmba},
                                                 {"/dev/ttyS4", PortKind::kPci},
                                                 {"/dev/ttyS5", PortKind::kPlugAndPlay},
                                                 {"/dev/ttyS9", PortKind::kUsb},
                                                 {"/de", PortKind::kUsb}};
  for (bool serialCore : {false, true}) {
    FakeRoot fake;
    buildMachine(fake, serialCore);
    for (const auto& [node, expected] : rows) {
      SCOPED_TRACE(node + (serialCore ? " since 6.5" : " before 6.5"));
      PortInfo record;
      record.portName = "kept";
      PortFacts facts;
      facts.kind = PortKind::kUsb;
      const bool accepted = probePlatformUart(node, record, facts, fake.root());
      EXPECT_EQ(recordText(record), expected);
      EXPECT_EQ(facts.kind, kinds.at(node));
      EXPECT_EQ(accepted, record.portName == node);
    }
  }
}

TEST(ProbePlatformUart, SerialCoreOnlyWhenThePortDeviceIsOnSerialBase) {
  // A device link that leads to a device of another bus is judged where it stands, even when the
  // device two levels up has hardware files.
  FakeRoot fake;
  pnpUart(fake, "/sys/devices/pnp0/00:01", "state = active\nio 0x3f8-0x3ff\nirq 4\n");
  const std::string device = "/sys/devices/pnp0/00:01/sub/port";
  fake.file(device + "/uevent", "DRIVER=other\n");
  subsystem(fake, device, "other-base");
  fake.link(device + "/tty/ttyS0/device", "../../../port");
  fake.link("/sys/class/tty/ttyS0", "../../devices/pnp0/00:01/sub/port/tty/ttyS0");
  PortInfo record;
  PortFacts facts;
  EXPECT_FALSE(probePlatformUart("/dev/ttyS0", record, facts, fake.root()));
}

}  // namespace
}  // namespace ttyenum
