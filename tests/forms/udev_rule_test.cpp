#include "forms/udev_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace ttyenum {
namespace {

// An FTDI FT232R with a serial of its own on one interface, one port: the plainest adapter.
UdevRuleFacts ftdi() {
  UdevRuleFacts facts;
  facts.kernelName = "ttyUSB0";
  facts.onUsb = true;
  facts.vendorId = "0403";
  facts.productId = "6001";
  facts.serial = "A50285BI";
  facts.idPath = "pci-0000:00:14.0-usb-0:2:1.0";
  facts.byPathLink = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
  facts.interfaceName = "1-2:1.0";
  facts.interfaceNumber = 0;
  facts.interfaceCount = 1;
  facts.portNumber = 0;
  facts.portsOnInterface = 1;
  return facts;
}

// A CH340 without a serial number in the socket at `idPath`.
UdevRuleFacts ch340(const std::string& idPath) {
  UdevRuleFacts facts = ftdi();
  facts.vendorId = "1a86";
  facts.productId = "7523";
  facts.serial.clear();
  facts.idPath = idPath;
  facts.byPathLink = "/dev/serial/by-path/" + idPath + "-port0";
  return facts;
}

UdevRuleFacts with(UdevRuleFacts facts, void (*change)(UdevRuleFacts&)) {
  change(facts);
  return facts;
}

const char kSocketTail[] =
    ", so the name follows the USB socket, not the adapter; keep the adapter in that socket.\n";

TEST(UdevRule, ChoosesTheMostStableIdentityAndRendersItsThreeLines) {
  const struct {
    const char* row;
    UdevRuleFacts facts;
    const char* name;
    std::string text;
  } rows[] = {
      {"a unique serial", ftdi(), "board",
       "# Save as /etc/udev/rules.d/99-ttyenum-board.rules\n"
       "# Matches the USB device 0403:6001 with serial number A50285BI: no other USB device here "
       "has these ids and that serial number, so the name follows the adapter into any USB "
       "socket.\n"
       "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
       "ATTRS{serial}==\"A50285BI\", SYMLINK+=\"board\"\n"},
      {"the first of two identical adapters without serial", ch340("pci-0000:00:14.0-usb-0:1:1.0"),
       "lab/left",
       "# Save as /etc/udev/rules.d/99-ttyenum-lab-left.rules\n"
       "# Matches the USB socket pci-0000:00:14.0-usb-0:1:1.0: the adapter has no serial number" +
           std::string(kSocketTail) +
           "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:14.0-usb-0:1:1.0\", "
           "SYMLINK+=\"lab/left\"\n"},
      {"the second of them", ch340("pci-0000:00:14.0-usb-0:3.2:1.0"), "lab/right",
       "# Save as /etc/udev/rules.d/99-ttyenum-lab-right.rules\n"
       "# Matches the USB socket pci-0000:00:14.0-usb-0:3.2:1.0: the adapter has no serial "
       "number" +
           std::string(kSocketTail) +
           "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:14.0-usb-0:3.2:1.0\", "
           "SYMLINK+=\"lab/right\"\n"},
      {"a serial another adapter shares",
       with(ftdi(), [](UdevRuleFacts& f) { f.serialShared = true; }), "gps",
       "# Save as /etc/udev/rules.d/99-ttyenum-gps.rules\n"
       "# Matches the USB socket pci-0000:00:14.0-usb-0:2:1.0: another USB device with the same "
       "ids has the same serial number" +
           std::string(kSocketTail) +
           "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:14.0-usb-0:2:1.0\", "
           "SYMLINK+=\"gps\"\n"},
      {"the third port of an FT4232: one port on each of four interfaces",
       with(ftdi(),
            [](UdevRuleFacts& f) {
              f.productId = "6011";
              f.serial = "FT4232-01";
              f.interfaceName = "1-2:1.2";
              f.interfaceNumber = 2;
              f.interfaceCount = 4;
            }),
       "jtag.uart",
       "# Save as /etc/udev/rules.d/99-ttyenum-jtag.uart.rules\n"
       "# Matches the USB device 0403:6011 with serial number FT4232-01, interface 02: no other "
       "USB device here has these ids and that serial number, so the name follows the adapter "
       "into any USB socket.\n"
       "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6011\", "
       "ATTRS{serial}==\"FT4232-01\", ENV{ID_USB_INTERFACE_NUM}==\"02\", SYMLINK+=\"jtag.uart\"\n"},
      {"the second port of a two-port interface, with only a by-path link",
       with(ch340(""),
            [](UdevRuleFacts& f) {
              f.byPathLink = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port1";
              f.portNumber = 1;
              f.portsOnInterface = 2;
            }),
       "modem",
       "# Save as /etc/udev/rules.d/99-ttyenum-modem.rules\n"
       "# Matches the USB socket pci-0000:00:14.0-usb-0:4:1.0, port 1: the adapter has no serial "
       "number" +
           std::string(kSocketTail) +
           "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:14.0-usb-0:4:1.0\", "
           "ENV{.ID_PORT}==\"1\", SYMLINK+=\"modem\"\n"},
      {"a serial with a glob character", with(ftdi(), [](UdevRuleFacts& f) { f.serial = "AB*12"; }),
       "probe",
       "# Save as /etc/udev/rules.d/99-ttyenum-probe.rules\n"
       "# Matches the USB socket pci-0000:00:14.0-usb-0:2:1.0: its serial number has characters "
       "that a rule cannot match literally" +
           std::string(kSocketTail) +
           "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:14.0-usb-0:2:1.0\", "
           "SYMLINK+=\"probe\"\n"},
      {"neither a database entry nor a link, interface 10 of several",
       with(ch340(""),
            [](UdevRuleFacts& f) {
              f.byPathLink.clear();
              f.interfaceName = "1-4:2.10";
              f.interfaceNumber = 10;
              f.interfaceCount = 12;
            }),
       "console",
       "# Save as /etc/udev/rules.d/99-ttyenum-console.rules\n"
       "# Matches the USB interface 1-4:2.10 by its place on the bus, interface 0a: the adapter "
       "has no serial number" +
           std::string(kSocketTail) +
           "SUBSYSTEM==\"tty\", SUBSYSTEMS==\"usb\", KERNELS==\"1-4:2.10\", "
           "ENV{ID_USB_INTERFACE_NUM}==\"0a\", SYMLINK+=\"console\"\n"},
      {"an on-board port", with(UdevRuleFacts(), [](UdevRuleFacts& f) { f.kernelName = "ttyS0"; }),
       "uart",
       "# Save as /etc/udev/rules.d/99-ttyenum-uart.rules\n"
       "# Matches the kernel name ttyS0: a port that is not on USB keeps its kernel name from boot "
       "to boot, so that name is already stable.\n"
       "SUBSYSTEM==\"tty\", KERNEL==\"ttyS0\", SYMLINK+=\"uart\"\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.row);
    EXPECT_EQ(udevRuleText(chooseUdevRuleIdentity(row.facts), row.name), row.text);
  }
}

TEST(UdevRule, TellsLiteralRuleTextAndRuleNames) {
  const struct {
    const char* text;
    bool literal;
    bool name;
  } rows[] = {
      {"A50285BI", true, true},
      {"lab/left", true, true},
      {"a.b_c-d/e/f", true, true},
      {"has space", true, false},
      {"", false, false},
      {"AB*12", false, false},
      {"A?", false, false},
      {"[x]", false, false},
      {"a|b", false, false},
      {"quote\"", false, false},
      {"back\\slash", false, false},
      {"tab\t", false, false},
      {"caf\xc3\xa9", false, false},
      {"/lead", true, false},
      {"trail/", true, false},
      {"a//b", true, false},
      {"./a", true, false},
      {"a/..", true, false},
      {"..", true, false},
      {"a$b", true, false},
      {"0123456789012345678901234567890123456789012345678901234567890123", true, true},
      {"01234567890123456789012345678901234567890123456789012345678901234", true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(isLiteralRuleText(row.text), row.literal);
    EXPECT_EQ(isUdevRuleName(row.text), row.name);
  }
}

// The names kept follow the count, ten at most, escaped as the listing escapes them.
TEST(UdevRule, SaysHowManyPortsTheFiltersKeep) {
  const auto listing = [](int count) {
    PortListing kept;
    for (int i = 0; i < count; ++i) {
      kept.ports.emplace_back();
      kept.ports.back().port.portName = "/dev/ttyUSB" + std::to_string(i);
    }
    if (count > 0)
      kept.ports[0].port.portName = "/dev/tty\x1b[2J";
    return kept;
  };
  const std::string head = "ttyenum: --udev-rule needs exactly one port; the filters keep ";
  std::string ten = "/dev/tty\\x1b[2J\n";
  for (int i = 1; i < 10; ++i)
    ten += "/dev/ttyUSB" + std::to_string(i) + "\n";
  const struct {
    int count;
    std::string message;
  } rows[] = {
      {0, head + "0\n"},
      {2, head + "2\n/dev/tty\\x1b[2J\n/dev/ttyUSB1\n"},
      {10, head + "10\n" + ten},
      {12, head + "12\n" + ten},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.count);
    EXPECT_EQ(udevRuleCountMessage(listing(row.count)), row.message);
  }
}

}  // namespace
}  // namespace ttyenum
