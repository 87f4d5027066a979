#include "discovery/usb_port_probe.h"

#include <optional>
#include <utility>

#include "common/whole_number.h"
#include "discovery/sysfs_attribute.h"

namespace ttyenum {

namespace {

// "/usb" and a one-digit bus number with its slash: /usb1/
constexpr size_t kBusComponentLength = 6;

// The last non-empty component of a USB path that names an interface ("1-1.4:1.0", with a ":")
// or, with `interface` false, a device.
std::string lastUsbComponent(const std::string& usbPath, bool interface) {
  std::string found;
  size_t begin = 0;
  while (begin < usbPath.size()) {
    size_t end = usbPath.find('/', begin);
    if (end == std::string::npos)
      end = usbPath.size();
    const std::string component = usbPath.substr(begin, end - begin);
    if (!component.empty() && (component.find(':') != std::string::npos) == interface)
      found = component;
    begin = end + 1;
  }
  return found;
}

// A sysfs attribute's number in `base`; none when the text is not all digits.
std::optional<unsigned> numberAttribute(const std::string& path, int base,
                                        const FileSystemRoot& root) {
  return wholeNumber(readSysfsAttribute(path, false, root), base);
}

}  // namespace

void readUsbAddress(PortFacts& facts, const FileSystemRoot& root) {
  if (facts.usbLocation.empty())
    return;
  const std::string device = "/sys/bus/usb/devices/" + facts.usbLocation + "/";
  facts.usbBusNumber = numberAttribute(device + "busnum", 10, root);
  facts.usbDeviceAddress = numberAttribute(device + "devnum", 10, root);
}

bool usbPathFromLinkText(const std::string& linkText, std::string& usbPath) {
  const size_t usb = linkText.find("/usb");
  const size_t tty = linkText.find("/tty");
  if (usb == std::string::npos || tty == std::string::npos)
    return false;
  if (linkText.size() - usb < kBusComponentLength)
    return false;
  const size_t start = usb + kBusComponentLength;
  if (tty + 1 >= start)
    usbPath = linkText.substr(start, tty + 1 - start);
  else
    usbPath = linkText.substr(start);
  return true;
}

std::string owningUsbDevice(const std::string& usbPath) {
  return lastUsbComponent(usbPath, false);
}

std::string owningUsbInterface(const std::string& usbPath) {
  return lastUsbComponent(usbPath, true);
}

std::optional<unsigned> usbInterfaceNumber(const std::string& usbPath, const FileSystemRoot& root) {
  const std::string interface = owningUsbInterface(usbPath);
  if (interface.empty())
    return std::nullopt;
  return numberAttribute("/sys/bus/usb/devices/" + interface + "/bInterfaceNumber", 16, root);
}

std::string readUsbAttribute(const std::string& usbPath, const std::string& name,
                             const FileSystemRoot& root) {
  const std::string device = owningUsbDevice(usbPath);
  if (device.empty())
    return std::string();
  return readSysfsAttribute("/sys/bus/usb/devices/" + device + "/" + name, false, root);
}

bool probeUsbPort(const std::string& portPath, PortInfo& record, PortFacts& facts,
                  const FileSystemRoot& root) {
  const std::string classEntry = ttyClassEntry(portPath);
  std::string linkText;
  std::string usbPath;
  if (classEntry.empty() || !readLinkText(classEntry, linkText, root) ||
      !usbPathFromLinkText(linkText, usbPath)) {
    return false;
  }
  std::string version = readUsbAttribute(usbPath, "version", root);
  std::string productId = readUsbAttribute(usbPath, "idProduct", root);
  std::string vendorId = readUsbAttribute(usbPath, "idVendor", root);
  std::string manufacturer = readUsbAttribute(usbPath, "manufacturer", root);
  std::string driver = ttyDriverName(portPath, root);
  std::string product = readUsbAttribute(usbPath, "product", root);
  std::string serialNumber = readUsbAttribute(usbPath, "serial", root);

  record.portName = portPath;
  record.serialNumber = std::move(serialNumber);
  record.product = std::move(product);
  record.driver = std::move(driver);
  record.manufacturer = std::move(manufacturer);
  record.vendorId = std::move(vendorId);
  record.productId = std::move(productId);
  record.version = std::move(version);
  record.inUse = false;
  facts.kind = PortKind::kUsb;
  facts.usbLocation = owningUsbDevice(usbPath);
  facts.usbInterface = usbInterfaceNumber(usbPath, root);
  return true;
}

}  // namespace ttyenum
