#include "discovery/udev_rule_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

std::string number(const std::optional<unsigned>& value) {
  return value ? std::to_string(*value) : "-";
}

// Every fact on one line, for whole-record checks.
std::string factsText(const UdevRuleFacts& f) {
  return f.kernelName + (f.onUsb ? " usb " : " - ") + f.vendorId + ":" + f.productId + " '" +
         f.serial + "'" + (f.serialShared ? " shared" : "") + " path '" + f.idPath + "' link '" +
         f.byPathLink + "' " + f.interfaceName + " if " + number(f.interfaceNumber) + "/" +
         std::to_string(f.interfaceCount) + " port " + number(f.portNumber) + "/" +
         std::to_string(f.portsOnInterface);
}

// The captured Debian 12 tree with the by-path links udev made for it and one database entry;
// beside it, a device with ttyUSB1's ids and serial but no port, one with ttyUSB0's serial under
// other ids, and a second port on ttyUSB0's interface, as a two-port chip has.
TEST(UdevRuleReader, ReadsWhatARuleCanMatchOn) {
  testing::FakeRoot fake;
  fake.unpackFixture("qemu-debian12-6.1");
  fake.link("/dev/serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0", "../../ttyUSB0");
  fake.link("/dev/serial/by-path/pci-0000:00:05.0-usb-0:2.1:1.0-port0", "./../../ttyUSB1");
  fake.link("/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0", "../../ttyUSB1");
  fake.file("/run/udev/data/c188:0",
            "S:serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0\nI:3141592\n"
            "E:ID_PATH_TAG=pci-0000_00_05_0-usb-0_1_1_0\nE:ID_PATH=pci-0000:00:05.0-usb-0:1:1.0\n"
            "G:systemd\n");
  const std::string usb1 = "/sys/devices/pci0000:00/0000:00:05.0/usb1/";
  for (const auto& [device, product, serial] : {std::tuple{"1-3", "6001", "LAB-FTDI-0002"},
                                                std::tuple{"1-4", "6015", "1-0000:00:05.0-1"}}) {
    fake.file(usb1 + device + "/idVendor", "0403\n");
    fake.file(usb1 + device + "/idProduct", std::string(product) + "\n");
    fake.file(usb1 + device + "/serial", std::string(serial) + "\n");
    fake.link(std::string("/sys/bus/usb/devices/") + device,
              "../../../devices/pci0000:00/0000:00:05.0/usb1/" + std::string(device));
  }
  fake.file(usb1 + "1-1/1-1:1.0/ttyUSB9/port_number", "1\n");

  const char* const rows[][2] = {
      {"/dev/ttyUSB0",
       "ttyUSB0 usb 0403:6001 '1-0000:00:05.0-1' path 'pci-0000:00:05.0-usb-0:1:1.0' link "
       "'/dev/serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0' 1-1:1.0 if 0/1 port 0/2"},
      {"/dev/ttyUSB1",
       "ttyUSB1 usb 0403:6001 'LAB-FTDI-0002' shared path '' link "
       "'/dev/serial/by-path/pci-0000:00:05.0-usb-0:2.1:1.0-port0' 1-2.1:1.0 if 0/1 port 0/1"},
      {"/dev/ttyACM0",
       "ttyACM0 usb 0525:a4a7 'LAB-ACM-0001' path '' link '' 3-1:2.0 if 0/2 port -/0"},
      {"/dev/ttyS0", "ttyS0 - : '' path '' link ''  if -/0 port -/0"},
      {"/dev/ttyUSB7", "ttyUSB7 - : '' path '' link ''  if -/0 port -/0"},
  };
  for (const auto& [port, facts] : rows) {
    SCOPED_TRACE(port);
    EXPECT_EQ(factsText(readUdevRuleFacts(port, fake.root())), facts);
  }
}

}  // namespace
}  // namespace ttyenum
