#pragma once

#include <optional>
#include <string>

#include "common/listed_port.h"
#include "common/udev_rule_facts.h"

namespace ttyenum {

// What a rule matches to tell one port from every other port present.
enum class RuleMatch {
  kKernelName,    // KERNEL: a port that is not on USB
  kSerialNumber,  // the USB device's ATTRS idVendor, idProduct and serial
  kUdevPath,      // ENV{ID_PATH}: the USB socket, as udev's path_id names it
  kUsbInterface,  // SUBSYSTEMS=="usb", KERNELS: the socket, by the interface's sysfs name
};

// Why a USB port is matched by its socket rather than by its serial number.
enum class SerialUnusable { kNone, kMissing, kShared, kNotLiteral };

// The identity a rule gives one port: plain data, chosen before any text is written.
struct UdevRuleIdentity {
  RuleMatch match = RuleMatch::kKernelName;
  std::string value;      // the kernel name, the serial, the ID_PATH or the interface name
  std::string vendorId;   // kSerialNumber only
  std::string productId;  // kSerialNumber only
  SerialUnusable whySocket = SerialUnusable::kNone;  // kUdevPath and kUsbInterface only
  std::optional<unsigned> interfaceNumber;  // when the USB device has more than one interface
  std::optional<unsigned> portNumber;       // when the interface has more than one port
};

// The most stable identity the facts allow: the serial number where it is present, literal and
// not shared; else the ID_PATH (from the database, else the by-path link); else the interface.
UdevRuleIdentity chooseUdevRuleIdentity(const UdevRuleFacts& facts);

// The rules file for `identity` that links the port as /dev/<name>: a comment naming the file to
// save it as, a comment saying what it matches and why, and the rule; three lines in all.
std::string udevRuleText(const UdevRuleIdentity& identity, const std::string& name);

// Why a listing gives no rule: "ttyenum: --udev-rule needs exactly one port; the filters keep N"
// and the names kept, the first ten, a line each, escaped as fields are.
std::string udevRuleCountMessage(const PortListing& listing);

// True for a name made of ASCII letters, digits, ".", "_" and "-", with "/" between non-empty
// parts that are not "." or "..", at most 64 bytes long.
bool isUdevRuleName(const std::string& name);

// True for text a rule matches literally: printable ASCII without ", \ and the glob characters
// * ? [ ] |. Empty text is not.
bool isLiteralRuleText(const std::string& text);

}  // namespace ttyenum
