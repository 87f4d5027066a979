#include "discovery/usb_port_probe.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "discovery/port_enumerator.h"
#include "support/fake_root.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;
using testing::recordText;
using Attributes = std::map<std::string, std::string>;

// The folder's path relative to /sys/bus/usb/devices, as the kernel writes the entry's link.
std::string fromBusDevices(const std::string& sysFolder) {
  return "../../.." + sysFolder.substr(4);
}

// A USB device (or hub) as the kernel lays it out: attribute files with their final newline in
// its folder under the bus, and its /sys/bus/usb/devices entry. Absent keys are absent files.
void usbDevice(FakeRoot& fake, const std::string& folder, const Attributes& attributes) {
  for (const auto& [name, text] : attributes)
    fake.file(folder + "/" + name, text + "\n");
  fake.link("/sys/bus/usb/devices/" + folder.substr(folder.rfind('/') + 1), fromBusDevices(folder));
}

void usbInterface(FakeRoot& fake, const std::string& folder, const std::string& driver) {
  fake.file(folder + "/uevent",
            "DEVTYPE=usb_interface\nDRIVER=" + driver + "\nINTERFACE=255/0/0\n");
  fake.link("/sys/bus/usb/devices/" + folder.substr(folder.rfind('/') + 1), fromBusDevices(folder));
}

// A usb-serial port: <interface>/ttyUSBn/tty/ttyUSBn, whose device is the usb-serial port folder.
void usbSerialNode(FakeRoot& fake, const std::string& interface, const std::string& node,
                   const std::string& driver) {
  const std::string portFolder = interface + "/" + node;
  fake.file(portFolder + "/uevent", "DRIVER=" + driver + "\n");
  fake.file(portFolder + "/tty/" + node + "/dev", "188:0\n");
  fake.link(portFolder + "/tty/" + node + "/device", "../../../" + node);
  fake.link("/sys/class/tty/" + node, "../.." + portFolder.substr(4) + "/tty/" + node);
  fake.node(node);
}

const Attributes kFtdi = {{"idVendor", "0403"},     {"idProduct", "6001"},
                          {"manufacturer", "FTDI"}, {"product", "FT232R USB UART"},
                          {"serial", "A50285BI"},   {"version", " 2.00"}};

// Layouts seen on real machines (xHCI root ports, a hub), one node each. CDC ACM ports, whose
// device is the interface itself, come in the captured trees of the enumeration tests.
class UsbTree : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string pci = "/sys/devices/pci0000:00/0000:00:14.0";
    usbDevice(fake, pci + "/usb1", {{"idVendor", "1d6b"}, {"serial", "0000:00:14.0"}});

    usbDevice(fake, pci + "/usb1/1-1", kFtdi);
    usbInterface(fake, pci + "/usb1/1-1/1-1:1.0", "ftdi_sio");
    usbSerialNode(fake, pci + "/usb1/1-1/1-1:1.0", "ttyUSB0", "ftdi_sio");

    // A hub with strings of its own, and behind it a CH340 that reports neither a manufacturer
    // nor a serial number.
    usbDevice(fake, pci + "/usb1/1-2",
              {{"idVendor", "05e3"},
               {"idProduct", "0610"},
               {"manufacturer", "GenesysLogic"},
               {"product", "USB2.1 Hub"},
               {"serial", "HUB-0001"},
               {"version", " 2.10"}});
    usbInterface(fake, pci + "/usb1/1-2/1-2:1.0", "hub");
    usbDevice(fake, pci + "/usb1/1-2/1-2.4",
              {{"idVendor", "1a86"},
               {"idProduct", "7523"},
               {"product", "USB Serial"},
               {"version", " 1.10"}});
    usbInterface(fake, pci + "/usb1/1-2/1-2.4/1-2.4:1.0", "ch341");
    usbSerialNode(fake, pci + "/usb1/1-2/1-2.4/1-2.4:1.0", "ttyUSB1", "ch341-uart");

    usbDevice(fake, pci + "/usb10/10-1", kFtdi);
    usbInterface(fake, pci + "/usb10/10-1/10-1:1.0", "ftdi_sio");
    usbSerialNode(fake, pci + "/usb10/10-1/10-1:1.0", "ttyUSB2", "ftdi_sio");

    usbDevice(fake, pci + "/usb100/100-1", kFtdi);
    usbInterface(fake, pci + "/usb100/100-1/100-1:1.0", "ftdi_sio");
    usbSerialNode(fake, pci + "/usb100/100-1/100-1:1.0", "ttyUSB3", "ftdi_sio");

    // A tty right below the bus: no device on the path, so no USB attribute, not even the root
    // hub's.
    fake.file(pci + "/usb1/uevent", "DEVTYPE=usb_device\nDRIVER=usb\n");
    fake.link(pci + "/usb1/tty/ttyUSB4/device", "../../../usb1");
    fake.link("/sys/class/tty/ttyUSB4", "../../devices/pci0000:00/0000:00:14.0/usb1/tty/ttyUSB4");
    fake.node("ttyUSB4");
  }

  FakeRoot fake;
};

TEST_F(UsbTree, AcceptedPortsAreDescribedByTheDeviceThatOwnsTheInterface) {
  const std::string ftdi =
      "serialNumber='A50285BI' product='FT232R USB UART' driver='ftdi_sio' manufacturer='FTDI' "
      "vendorId='0403' productId='6001' version=' 2.00' inUse=false";
  const std::pair<std::string, std::string> rows[] = {
      {"/dev/ttyUSB0", "/dev/ttyUSB0 " + ftdi},
      {"/dev/ttyUSB1",
       "/dev/ttyUSB1 serialNumber='' product='USB Serial' driver='ch341-uart' manufacturer='' "
       "vendorId='1a86' productId='7523' version=' 1.10' inUse=false"},
      {"/dev/ttyUSB2", "/dev/ttyUSB2 " + ftdi},
      {"/dev/ttyUSB3", "/dev/ttyUSB3 " + ftdi},
      {"/dev/ttyUSB4",
       "/dev/ttyUSB4 serialNumber='' product='' driver='usb' manufacturer='' vendorId='' "
       "productId='' version='' inUse=false"},
  };
  for (const auto& [node, expected] : rows) {
    SCOPED_TRACE(node);
    PortInfo record;
    PortFacts facts;
    facts.kind = PortKind::kPci;
    ASSERT_TRUE(probeUsbPort(node, record, facts, fake.root()));
    EXPECT_EQ(recordText(record), expected);
    EXPECT_EQ(facts.kind, PortKind::kUsb);
  }
}

TEST_F(UsbTree, NodesNotOnAUsbBusAreRejectedAndTheRecordKept) {
  fake.node("ttyUSB7");  // stale: no class entry
  fake.folder("/sys/devices/pci0000:00/0000:00:1f.0/tty/ttyUSB8");
  fake.link("/sys/class/tty/ttyUSB8", "../../devices/pci0000:00/0000:00:1f.0/tty/ttyUSB8");
  fake.folder("/sys/class/tty/ttyACM5");  // a folder, not a link
  fake.link("/sys/class/tty/ttyACM6", "../../devices/virtual/tty/ttyACM6/usb1");
  for (const char* node :
       {"/dev/ttyUSB7", "/dev/ttyUSB8", "/dev/ttyACM5", "/dev/ttyACM6", "/de", ""}) {
    SCOPED_TRACE(node);
    PortInfo record;
    record.portName = "kept";
    record.serialNumber = "kept";
    PortFacts facts;
    facts.kind = PortKind::kPci;
    EXPECT_FALSE(probeUsbPort(node, record, facts, fake.root()));
    EXPECT_EQ(facts.kind, PortKind::kPci);
    EXPECT_EQ(recordText(record),
              "kept serialNumber='kept' product='' driver='' manufacturer='' vendorId='' "
              "productId='' version='' inUse=false");
  }
}

// The probe leaves holders to the enumeration's one scan; its answer lands in both lists.
TEST_F(UsbTree, InUseOnlyWhenADescriptorNamesExactlyThePort) {
  fake.link("/proc/4242/fd/0", "/dev/pts/0");
  fake.link("/proc/4242/fd/5", "/dev/ttyUSB0");
  fake.link("/proc/777/fd/3", "/dev/ttyUSB10");
  std::vector<PortInfo> ports;
  std::vector<PortFacts> facts;
  ASSERT_EQ(PortEnumerator(fake.root()).enumerate(ports, facts), 5u);
  ASSERT_EQ(facts.size(), 5u);
  EXPECT_EQ(ports[0].portName, "/dev/ttyUSB0");
  EXPECT_TRUE(ports[0].inUse);
  EXPECT_EQ(facts[0].holderPid, 4242);
  for (size_t i = 1; i < ports.size(); ++i) {
    EXPECT_FALSE(ports[i].inUse) << ports[i].portName;
    EXPECT_EQ(facts[i].holderPid, -1) << ports[i].portName;
  }
}

// Each costly fact is read only when asked for, so that a format such as %c does no more work
// than the listing itself; the kind and the holder's pid always come.
TEST_F(UsbTree, OnlyTheFactsAskedForAreRead) {
  fake.link("/proc/4242/fd/5", "/dev/ttyUSB0");
  fake.file("/proc/4242/comm", "minicom\n");
  fake.link("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
  const auto factsWith = [&](const FactNeeds& needs) {
    std::vector<PortInfo> ports;
    std::vector<PortFacts> facts;
    PortEnumerator(fake.root()).enumerate(ports, facts, needs);
    return facts.at(0);
  };
  const PortFacts none = factsWith(FactNeeds());
  EXPECT_EQ(none.kind, PortKind::kUsb);
  EXPECT_EQ(none.holderPid, 4242);
  EXPECT_FALSE(none.holderCommand.has_value());
  EXPECT_TRUE(none.links.empty());
  EXPECT_EQ(none.group, "");
  EXPECT_EQ(none.access, "");

  FactNeeds commandOnly;
  commandOnly.holderCommand = true;
  EXPECT_EQ(factsWith(commandOnly).holderCommand, "minicom");
  EXPECT_TRUE(factsWith(commandOnly).links.empty());

  FactNeeds linksOnly;
  linksOnly.links = true;
  EXPECT_EQ(
      factsWith(linksOnly).links,
      std::vector<std::string>{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"});
  EXPECT_EQ(factsWith(linksOnly).access, "");

  FactNeeds nodeOnly;
  nodeOnly.node = true;
  const PortFacts node = factsWith(nodeOnly);
  EXPECT_EQ(node.access, "rw");  // the suite runs as root, or as the owner of the tree
  EXPECT_NE(node.group, "");
  EXPECT_FALSE(node.holderCommand.has_value());
  EXPECT_FALSE(node.usbBusNumber.has_value());
  EXPECT_FALSE(node.usbDeviceAddress.has_value());
}

// The bus number and address come only when asked for; a value that is not a number stays
// unknown.
TEST_F(UsbTree, TheUsbAddressOnlyWhenAskedFor) {
  const std::string device = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/";
  fake.file(device + "busnum", "1\n");
  fake.file(device + "devnum", "17\n");
  fake.file("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.4/busnum", "1\n");
  fake.file("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.4/devnum", "x3\n");
  FactNeeds address;
  address.usbAddress = true;
  std::vector<PortInfo> ports;
  std::vector<PortFacts> facts;
  PortEnumerator(fake.root()).enumerate(ports, facts, address);
  ASSERT_GE(facts.size(), 2u);
  EXPECT_EQ(facts[0].usbBusNumber, 1u);
  EXPECT_EQ(facts[0].usbDeviceAddress, 17u);
  EXPECT_EQ(facts[1].usbBusNumber, 1u);
  EXPECT_FALSE(facts[1].usbDeviceAddress.has_value());
  EXPECT_EQ(facts[0].group, "");
}

TEST(UsbPathFromLinkText, CutsTheUsbPathAndRejectsShortTexts) {
  struct Row {
    std::string linkText;
    bool accepted;
    std::string usbPath;
    std::string owner;
  };
  const std::string pci = "../../devices/pci0000:00/0000:00:14.0";
  const Row rows[] = {
      {pci + "/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0", true, "1-1/1-1:1.0/", "1-1"},
      {pci + "/usb1/1-1/1-1.4/1-1.4:1.0/ttyUSB0/tty/ttyUSB0", true, "1-1/1-1.4/1-1.4:1.0/",
       "1-1.4"},
      {pci + "/usb1/1-2/1-2:1.0/tty/ttyACM0", true, "1-2/1-2:1.0/", "1-2"},
      {pci + "/usb10/10-1/10-1:1.0/ttyUSB0/tty/ttyUSB0", true, "/10-1/10-1:1.0/", "10-1"},
      {pci + "/usb100/100-1/100-1:1.0/ttyUSB0/tty/ttyUSB0", true, "0/100-1/100-1:1.0/", "100-1"},
      {pci + "/usb1/tty/ttyUSB0", true, "", ""},
      {pci + "/usb10/tty/ttyUSB0", true, "/", ""},
      {"/tty/x/usb1/1-1/1-1:1.0", true, "1-1/1-1:1.0", "1-1"},
      {"/tty/usb1/", true, "", ""},
      {"/tty/usb1", false, "", ""},
      {"/usb", false, "", ""},
      {pci + "/0000:00:1f.0/tty/ttyUSB0", false, "", ""},
      {"", false, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.linkText);
    std::string usbPath;
    EXPECT_EQ(usbPathFromLinkText(row.linkText, usbPath), row.accepted);
    EXPECT_EQ(usbPath, row.usbPath);
    EXPECT_EQ(owningUsbDevice(usbPath), row.owner);
  }
}

}  // namespace
}  // namespace ttyenum
