#include "discovery/udev_rule_reader.h"

#include <optional>
#include <vector>

#include "common/whole_number.h"
#include "discovery/device_node.h"
#include "discovery/sysfs_attribute.h"
#include "discovery/udev_database.h"
#include "discovery/usb_port_probe.h"

namespace ttyenum {

namespace {

const std::string kUsbDevices = "/sys/bus/usb/devices/";

// A decimal attribute; sysfs pads some of them with blanks, as bNumInterfaces (" 1").
std::optional<unsigned> decimalAttribute(const std::string& path, const FileSystemRoot& root) {
  const std::string text = readSysfsAttribute(path, false, root);
  const size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos)
    return std::nullopt;
  return wholeNumber(std::string_view(text).substr(start));
}

// True when a USB device other than `device` has the same ids and serial. Root hubs count too:
// a rule's ATTRS may match any device above the port.
bool serialSharedWith(const std::string& device, const UdevRuleFacts& facts,
                      const FileSystemRoot& root) {
  std::vector<std::string> entries;
  root.glob(kUsbDevices + "*", entries);
  for (const std::string& entry : entries) {
    const std::string name = entry.substr(kUsbDevices.size());
    if (name == device || name.find(':') != std::string::npos)
      continue;
    if (readSysfsAttribute(entry + "/idVendor", false, root) == facts.vendorId &&
        readSysfsAttribute(entry + "/idProduct", false, root) == facts.productId &&
        readSysfsAttribute(entry + "/serial", false, root) == facts.serial)
      return true;
  }
  return false;
}

std::string byPathLinkOf(const std::string& portPath, const FileSystemRoot& root) {
  const std::string folder = "/dev/serial/by-path/";
  for (const SerialLink& link : readSerialLinks(root)) {
    if (link.node == portPath && link.link.compare(0, folder.size(), folder) == 0)
      return link.link;
  }
  return std::string();
}

}  // namespace

UdevRuleFacts readUdevRuleFacts(const std::string& portPath, const FileSystemRoot& root) {
  UdevRuleFacts facts;
  facts.kernelName = portPath.substr(portPath.rfind('/') + 1);
  const std::string classEntry = ttyClassEntry(portPath);
  std::string linkText;
  std::string usbPath;
  if (classEntry.empty() || !readLinkText(classEntry, linkText, root) ||
      !usbPathFromLinkText(linkText, usbPath))
    return facts;

  facts.onUsb = true;
  const std::string device = owningUsbDevice(usbPath);
  facts.vendorId = readUsbAttribute(usbPath, "idVendor", root);
  facts.productId = readUsbAttribute(usbPath, "idProduct", root);
  facts.serial = readUsbAttribute(usbPath, "serial", root);
  facts.serialShared = !facts.serial.empty() && serialSharedWith(device, facts, root);
  if (!device.empty())
    facts.interfaceCount =
        decimalAttribute(kUsbDevices + device + "/bNumInterfaces", root).value_or(0);

  facts.interfaceName = owningUsbInterface(usbPath);
  facts.interfaceNumber = usbInterfaceNumber(usbPath, root);
  if (!facts.interfaceName.empty()) {
    const std::string interface = kUsbDevices + facts.interfaceName + "/";
    facts.portNumber = decimalAttribute(interface + facts.kernelName + "/port_number", root);
    std::vector<std::string> ports;
    root.glob(interface + "*/port_number", ports);
    facts.portsOnInterface = static_cast<unsigned>(ports.size());
  }

  const std::string number = readSysfsAttribute(classEntry + "/dev", false, root);
  if (!number.empty())
    facts.idPath = udevProperty(number, "ID_PATH", root);
  facts.byPathLink = byPathLinkOf(portPath, root);
  return facts;
}

}  // namespace ttyenum
