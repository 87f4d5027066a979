#include "forms/udev_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ttyenum {
namespace {

// An FTDI FT232R with a serial of its own, one interface, one port: the plainest adapter.
UdevRuleFacts ftdi(void (*change)(UdevRuleFacts&) = [](UdevRuleFacts&) {}) {
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
  facts.portNumber = 1;
  facts.portsOnInterface = 1;
  change(facts);
  return facts;
}

std::string number(const std::optional<unsigned>& value) {
  return value ? std::to_string(*value) : "-";
}

// The whole record on one line: match, value, ids, why the socket, interface and port.
std::string identityText(const UdevRuleIdentity& identity) {
  const char* const matches[] = {"kernel", "serial", "path", "interface"};
  const char* const whys[] = {"", " missing", " shared", " not-literal"};
  return std::string(matches[static_cast<int>(identity.match)]) + " " + identity.value + " " +
         identity.vendorId + ":" + identity.productId + whys[static_cast<int>(identity.whySocket)] +
         " if " + number(identity.interfaceNumber) + " port " + number(identity.portNumber);
}

TEST(ChooseUdevRuleIdentity, TheMostStableMatchTheFactsAllow) {
  const struct {
    const char* row;
    UdevRuleFacts facts;
    const char* identity;
  } rows[] = {
      {"a unique serial", ftdi(), "serial A50285BI 0403:6001 if - port -"},
      {"no serial", ftdi([](UdevRuleFacts& f) { f.serial.clear(); }),
       "path pci-0000:00:14.0-usb-0:2:1.0 : missing if - port -"},
      {"a shared serial", ftdi([](UdevRuleFacts& f) { f.serialShared = true; }),
       "path pci-0000:00:14.0-usb-0:2:1.0 : shared if - port -"},
      {"a serial with a glob character", ftdi([](UdevRuleFacts& f) { f.serial = "AB*12"; }),
       "path pci-0000:00:14.0-usb-0:2:1.0 : not-literal if - port -"},
      {"an FT4232's third port: one on each of four interfaces",
       ftdi([](UdevRuleFacts& f) { f.interfaceNumber = 2, f.interfaceCount = 4; }),
       "serial A50285BI 0403:6001 if 2 port -"},
      {"the second port of a two-port interface, a by-path link alone", ftdi([](UdevRuleFacts& f) {
         f.serial.clear(), f.idPath.clear(), f.portsOnInterface = 2;
         f.byPathLink = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port1";
       }),
       "path pci-0000:00:14.0-usb-0:4:1.0 : missing if - port 1"},
      {"neither a database entry nor a link",
       ftdi([](UdevRuleFacts& f) { f.serial.clear(), f.idPath.clear(), f.byPathLink.clear(); }),
       "interface 1-2:1.0 : missing if - port -"},
      {"an on-board port", UdevRuleFacts{}, "kernel  : if - port -"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.row);
    EXPECT_EQ(identityText(chooseUdevRuleIdentity(row.facts)), row.identity);
  }
}

// The serial number's rule is the black-box tests' whole output.
TEST(UdevRuleText, ThreeLinesForEachMatch) {
  const std::string socket =
      ", so the name follows the USB socket, not the adapter; keep the "
      "adapter in that socket.\n";
  const struct {
    UdevRuleIdentity identity;
    const char* name;
    std::string text;
  } rows[] = {
      {{RuleMatch::kUdevPath, "pci-0000:00:14.0-usb-0:1:1.0", "", "", SerialUnusable::kShared, 10,
        1},
       "left",
       "# Save as /etc/udev/rules.d/99-ttyenum-left.rules\n# Matches the USB socket "
       "pci-0000:00:14.0-usb-0:1:1.0, interface 0a, port 1: another USB device with the same ids "
       "has the same serial number" +
           socket +
           "SUBSYSTEM==\"tty\", ENV{ID_PATH}==\"pci-0000:00:14.0-usb-0:1:1.0\", "
           "ENV{ID_USB_INTERFACE_NUM}==\"0a\", ENV{.ID_PORT}==\"1\", SYMLINK+=\"left\"\n"},
      {{RuleMatch::kUsbInterface, "1-4:2.10", "", "", SerialUnusable::kNotLiteral, 10, 1},
       "console",
       "# Save as /etc/udev/rules.d/99-ttyenum-console.rules\n# Matches the USB interface "
       "1-4:2.10 by its place on the bus, interface 0a, port 1: its serial number has characters "
       "that a rule cannot match literally" +
           socket +
           "SUBSYSTEM==\"tty\", SUBSYSTEMS==\"usb\", KERNELS==\"1-4:2.10\", "
           "ENV{ID_USB_INTERFACE_NUM}==\"0a\", ENV{.ID_PORT}==\"1\", SYMLINK+=\"console\"\n"},
      {{RuleMatch::kKernelName, "ttyS0", "", "", SerialUnusable::kNone, std::nullopt, std::nullopt},
       "uart",
       "# Save as /etc/udev/rules.d/99-ttyenum-uart.rules\n# Matches the kernel name ttyS0: a "
       "port that is not on USB keeps its kernel name from boot to boot, so that name is already "
       "stable.\nSUBSYSTEM==\"tty\", KERNEL==\"ttyS0\", SYMLINK+=\"uart\"\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(udevRuleText(row.identity, row.name), row.text);
  }
}

TEST(UdevRule, TellsLiteralRuleTextAndRuleNames) {
  const std::string longest(64, 'n');
  for (const std::string text : {"A50285BI", "has space", "a$b", "/a/"})
    EXPECT_TRUE(isLiteralRuleText(text)) << text;
  for (const std::string text :
       {"", "AB*12", "A?", "[x]", "a|b", "q\"", "back\\slash", "tab\t", "caf\xc3\xa9", "\x7f"})
    EXPECT_FALSE(isLiteralRuleText(text)) << text;
  for (const std::string& name :
       std::vector<std::string>{"board", "lab/ftdi", "a.b_c-d/e/f", "..a/b..", longest})
    EXPECT_TRUE(isUdevRuleName(name)) << name;
  for (const std::string& name :
       std::vector<std::string>{"", "has space", "/lead", "trail/", "a//b", "./a", "a/..", "..",
                                "a$b", "caf\xc3\xa9", longest + "n"})
    EXPECT_FALSE(isUdevRuleName(name)) << name;
}

// The names kept follow the count, ten at most, escaped as the listing escapes them.
TEST(UdevRule, SaysHowManyPortsTheFiltersKeep) {
  PortListing kept;
  std::string names;
  for (int count = 0; count <= 11; ++count) {
    SCOPED_TRACE(count);
    EXPECT_EQ(udevRuleCountMessage(kept),
              "ttyenum: --udev-rule needs exactly one port; the "
              "filters keep " +
                  std::to_string(count) + "\n" + names);
    kept.ports.emplace_back();
    kept.ports.back().port.portName = "/dev/ttyUSB" + std::to_string(count) + "\x1b";
    names += count < 10 ? "/dev/ttyUSB" + std::to_string(count) + "\\x1b\n" : "";
  }
}

}  // namespace
}  // namespace ttyenum
