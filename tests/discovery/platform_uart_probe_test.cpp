#include "discovery/platform_uart_probe.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

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

void platformDevice(FakeRoot& fake, const std::string& folder, const std::string& driver,
                    const std::string& modalias) {
  busDevice(fake, folder, "platform", driver, modalias);
}

void socNode(FakeRoot& fake, const std::string& folder, const std::string& node) {
  testing::ofNode(fake, folder, "soc/" + node);
}

// On-chip UARTs as on a Raspberry Pi 3 (Debian arm64, 6.12): the mini UART, a device-tree
// platform device, and the PL011 on the amba bus. Here the uevents put OF_ lines first.
void onChipUarts(FakeRoot& fake, bool serialCore) {
  const std::string mini = "/sys/devices/platform/soc/3f215040.serial";
  platformDevice(fake, mini, "bcm2835-aux-uart", "of:NserialT(null)Cbrcm,bcm2835-aux-uart");
  fake.file(mini + "/uevent",
            "OF_NAME=serial\nOF_FULLNAME=/soc/serial@7e215040\nDRIVER=bcm2835-aux-uart\n"
            "MODALIAS=of:NserialT(null)Cbrcm,bcm2835-aux-uart\n");
  socNode(fake, mini, "serial@7e215040");
  ttyOver(fake, mini, "ttyS2", 2, serialCore);

  const std::string pl011 = "/sys/devices/platform/soc/3f201000.serial";
  fake.file(pl011 + "/id", "00241011\n");
  fake.file(pl011 + "/resource", "\t000000003f201000\t000000003f2011ff\t0000000000000200\n");
  fake.file(pl011 + "/uevent",
            "OF_NAME=serial\nOF_COMPATIBLE_0=arm,pl011\nDRIVER=uart-pl011\nAMBA_ID=00241011\n"
            "MODALIAS=amba:d00241011\n");
  socNode(fake, pl011, "serial@7e201000");
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

// UART chips on serial buses, laid out as the kernel does for a Raspberry Pi with the sc16is7xx
// overlays: an SC16IS752 with two ports on SPI and an SC16IS750 on I2C, both from the device tree,
// and a chip that board code registered on SPI, with no firmware description.
TEST(ProbePlatformUart, UartChipsOnSpiAndI2cInBothLayouts) {
  const std::string chip =
      " product='UART' driver='sc16is7xx' manufacturer='' vendorId='' "
      "productId='' version='' inUse=false";
  const struct {
    std::string node;
    std::string record;  // empty: rejected
    PortKind kind;
  } rows[] = {
      {"/dev/ttySC0", "/dev/ttySC0 serialNumber='spi:sc16is752'" + chip, PortKind::kSpi},
      {"/dev/ttySC1", "/dev/ttySC1 serialNumber='spi:sc16is752'" + chip, PortKind::kSpi},
      {"/dev/ttySC2", "/dev/ttySC2 serialNumber='of:Nsc16is750T(null)Cnxp,sc16is750'" + chip,
       PortKind::kI2c},
      {"/dev/ttySC4", "", PortKind::kUsb},
  };
  for (bool serialCore : {false, true}) {
    FakeRoot fake;
    const std::string spi = "/sys/devices/platform/soc/3f215080.spi/spi_master/spi1/spi1.0";
    deviceTreeDevice(fake, spi, "spi", "sc16is7xx", "spi:sc16is752",
                     "soc/spi@7e215080/sc16is752@0");
    fake.file(spi + "/uevent",
              "DRIVER=sc16is7xx\nOF_NAME=sc16is752\nOF_FULLNAME=/soc/spi@7e215080/sc16is752@0\n"
              "OF_COMPATIBLE_0=nxp,sc16is752\nOF_COMPATIBLE_N=1\nMODALIAS=spi:sc16is752\n");
    ttyOver(fake, spi, "ttySC0", 0, serialCore);
    ttyOver(fake, spi, "ttySC1", 1, serialCore);

    const std::string i2c = "/sys/devices/platform/soc/3f804000.i2c/i2c-1/1-0048";
    busDevice(fake, i2c, "i2c", "sc16is7xx", "of:Nsc16is750T(null)Cnxp,sc16is750");
    fake.link(i2c + "/firmware_node", "../../../../../LNXSYSTM:00/LNXSYBUS:00/NXPS0750:00");
    ttyOver(fake, i2c, "ttySC2", 0, serialCore);

    const std::string boardCode = "/sys/devices/platform/soc/3f204000.spi/spi_master/spi0/spi0.1";
    busDevice(fake, boardCode, "spi", "sc16is7xx", "spi:sc16is750");
    ttyOver(fake, boardCode, "ttySC4", 0, serialCore);

    for (const auto& row : rows) {
      SCOPED_TRACE(row.node + (serialCore ? " since 6.5" : " before 6.5"));
      PortInfo record;
      PortFacts facts;
      EXPECT_EQ(probePlatformUart(row.node, record, facts, fake.root()), !row.record.empty());
      if (!row.record.empty()) {
        EXPECT_EQ(recordText(record), row.record);
      }
      EXPECT_EQ(facts.kind, row.kind);
    }
  }
}

}  // namespace
}  // namespace ttyenum
