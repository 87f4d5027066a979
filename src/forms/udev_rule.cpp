#include "forms/udev_rule.h"

#include <cstdio>

#include "forms/output_escape.h"

namespace ttyenum {

namespace {

constexpr size_t kMaxNameLength = 64;
constexpr size_t kNamesShown = 10;

// The ID_PATH that udev's by-path link was named after: the link's name less a "-port<N>".
std::string idPathFromByPathLink(const std::string& link) {
  const std::string folder = "/dev/serial/by-path/";
  if (link.compare(0, folder.size(), folder) != 0)
    return std::string();
  std::string name = link.substr(folder.size());
  const size_t port = name.rfind("-port");
  if (port != std::string::npos && port + 5 < name.size() &&
      name.find_first_not_of("0123456789", port + 5) == std::string::npos)
    name.erase(port);
  return name;
}

SerialUnusable serialUnusable(const UdevRuleFacts& facts) {
  if (facts.serial.empty())
    return SerialUnusable::kMissing;
  if (!isLiteralRuleText(facts.serial) || !isLiteralRuleText(facts.vendorId) ||
      !isLiteralRuleText(facts.productId))
    return SerialUnusable::kNotLiteral;
  if (facts.serialShared)
    return SerialUnusable::kShared;
  return SerialUnusable::kNone;
}

std::string hexByte(unsigned number) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x", number);
  return text;
}

// ", interface 02, port 1" for the comment; empty where neither is matched.
std::string interfaceAndPort(const UdevRuleIdentity& identity) {
  std::string text;
  if (identity.interfaceNumber)
    text += ", interface " + hexByte(*identity.interfaceNumber);
  if (identity.portNumber)
    text += ", port " + std::to_string(*identity.portNumber);
  return text;
}

std::string socketReason(SerialUnusable why) {
  switch (why) {
    case SerialUnusable::kShared:
      return "another USB device with the same ids has the same serial number";
    case SerialUnusable::kNotLiteral:
      return "its serial number has characters that a rule cannot match literally";
    case SerialUnusable::kMissing:
    case SerialUnusable::kNone:
      break;
  }
  return "the adapter has no serial number";
}

std::string explanation(const UdevRuleIdentity& identity) {
  const std::string socket =
      ": " + socketReason(identity.whySocket) +
      ", so the name follows the USB socket, not the adapter; keep the adapter in that socket.";
  switch (identity.match) {
    case RuleMatch::kSerialNumber:
      return "Matches the USB device " + identity.vendorId + ":" + identity.productId +
             " with serial number " + identity.value + interfaceAndPort(identity) +
             ": no other USB device here has these ids and that serial number, so the name "
             "follows the adapter into any USB socket.";
    case RuleMatch::kUdevPath:
      return "Matches the USB socket " + identity.value + interfaceAndPort(identity) + socket;
    case RuleMatch::kUsbInterface:
      return "Matches the USB interface " + identity.value + " by its place on the bus" +
             interfaceAndPort(identity) + socket;
    case RuleMatch::kKernelName:
      break;
  }
  return "Matches the kernel name " + identity.value +
         ": a port that is not on USB keeps its kernel name from boot to boot, so that name is "
         "already stable.";
}

std::string matchKeys(const UdevRuleIdentity& identity) {
  std::string keys;
  switch (identity.match) {
    case RuleMatch::kKernelName:
      return "KERNEL==\"" + identity.value + "\"";
    case RuleMatch::kSerialNumber:
      keys = "ATTRS{idVendor}==\"" + identity.vendorId + "\", ATTRS{idProduct}==\"" +
             identity.productId + "\", ATTRS{serial}==\"" + identity.value + "\"";
      break;
    case RuleMatch::kUdevPath:
      keys = "ENV{ID_PATH}==\"" + identity.value + "\"";
      break;
    case RuleMatch::kUsbInterface:
      keys = "SUBSYSTEMS==\"usb\", KERNELS==\"" + identity.value + "\"";
      break;
  }
  if (identity.interfaceNumber)
    keys += ", ENV{ID_USB_INTERFACE_NUM}==\"" + hexByte(*identity.interfaceNumber) + "\"";
  if (identity.portNumber)
    keys += ", ENV{.ID_PORT}==\"" + std::to_string(*identity.portNumber) + "\"";
  return keys;
}

}  // namespace

bool isLiteralRuleText(const std::string& text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7e || std::string("\"\\*?[]|").find(c) != std::string::npos)
      return false;
  }
  return !text.empty();
}

UdevRuleIdentity chooseUdevRuleIdentity(const UdevRuleFacts& facts) {
  UdevRuleIdentity identity;
  if (!facts.onUsb) {
    identity.value = facts.kernelName;
    return identity;
  }
  // udev's own serial rules set both variables before any 99- file runs.
  if (facts.interfaceCount > 1)
    identity.interfaceNumber = facts.interfaceNumber;
  if (facts.portsOnInterface > 1)
    identity.portNumber = facts.portNumber;

  identity.whySocket = serialUnusable(facts);
  if (identity.whySocket == SerialUnusable::kNone) {
    identity.match = RuleMatch::kSerialNumber;
    identity.value = facts.serial;
    identity.vendorId = facts.vendorId;
    identity.productId = facts.productId;
    return identity;
  }
  for (const std::string& path : {facts.idPath, idPathFromByPathLink(facts.byPathLink)}) {
    if (isLiteralRuleText(path)) {
      identity.match = RuleMatch::kUdevPath;
      identity.value = path;
      return identity;
    }
  }
  identity.match = RuleMatch::kUsbInterface;
  identity.value = facts.interfaceName;
  return identity;
}

std::string udevRuleText(const UdevRuleIdentity& identity, const std::string& name) {
  std::string fileName = name;
  for (char& c : fileName) {
    if (c == '/')
      c = '-';
  }
  return "# Save as /etc/udev/rules.d/99-ttyenum-" + fileName + ".rules\n# " +
         explanation(identity) + "\nSUBSYSTEM==\"tty\", " + matchKeys(identity) + ", SYMLINK+=\"" +
         name + "\"\n";
}

std::string udevRuleCountMessage(const PortListing& listing) {
  std::string message = "ttyenum: --udev-rule needs exactly one port; the filters keep " +
                        std::to_string(listing.ports.size()) + "\n";
  for (size_t i = 0; i < listing.ports.size() && i < kNamesShown; ++i)
    message += escapeFieldText(listing.ports[i].port.portName) + "\n";
  return message;
}

bool isUdevRuleName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameLength)
    return false;
  size_t begin = 0;
  while (begin <= name.size()) {
    size_t end = name.find('/', begin);
    if (end == std::string::npos)
      end = name.size();
    const std::string part = name.substr(begin, end - begin);
    if (part.empty() || part == "." || part == "..")
      return false;
    for (const char c : part) {
      const bool alphanumeric =
          (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (!alphanumeric && c != '.' && c != '_' && c != '-')
        return false;
    }
    begin = end + 1;
  }
  return true;
}

}  // namespace ttyenum
