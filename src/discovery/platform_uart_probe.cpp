#include "discovery/platform_uart_probe.h"

#include <unistd.h>

#include <optional>
#include <utility>

#include "discovery/sysfs_attribute.h"

namespace ttyenum {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Since Linux 6.5 the tty's device is a port device on the serial-base bus, below a controller
// device, below the real hardware. The link's text is enough; its target need not exist.
bool isSerialCorePort(const std::string& deviceFolder, const FileSystemRoot& root) {
  std::string subsystem;
  return readLinkText(deviceFolder + "subsystem", subsystem, root) &&
         endsWith(subsystem, "/serial-base");
}

// The folder of the device that describes the port, with a trailing slash. ".." is resolved by
// the kernel from where the links lead, so it climbs from the port device, not from the class.
std::string hardwareFolder(const std::string& devicePath, const FileSystemRoot& root) {
  const std::string deviceFolder = ttyClassEntry(devicePath) + "/device/";
  return isSerialCorePort(deviceFolder, root) ? deviceFolder + "../../" : deviceFolder;
}

bool readable(const std::string& logicalPath, const FileSystemRoot& root) {
  return ::access(root.path(logicalPath).c_str(), R_OK) == 0;
}

std::optional<PortKind> uartKind(const std::string& folder, const FileSystemRoot& root) {
  if (readable(folder + "resources", root))
    return PortKind::kPlugAndPlay;
  if (readable(folder + "resource", root))
    return PortKind::kPci;
  return std::nullopt;
}

void describePlugAndPlay(const std::string& folder, const FileSystemRoot& root, PortInfo& port) {
  std::string driver = readSysfsAttribute(folder + "uevent", true, root);
  std::string pnpId = readSysfsAttribute(folder + "id", false, root);
  port.serialNumber = std::move(pnpId);
  port.product = "UART";
  port.driver = std::move(driver);
  port.manufacturer = "Linux";
  port.vendorId.clear();
  port.productId.clear();
  port.version.clear();
}

void describePci(const std::string& folder, const FileSystemRoot& root, PortInfo& port) {
  std::string productId = stripHexPrefix(readSysfsAttribute(folder + "device", false, root));
  std::string vendorId = stripHexPrefix(readSysfsAttribute(folder + "vendor", false, root));
  std::string driver = readSysfsAttribute(folder + "uevent", true, root);
  std::string modalias = readSysfsAttribute(folder + "modalias", false, root);
  port.serialNumber = std::move(modalias);
  port.product = "UART";
  port.driver = std::move(driver);
  port.manufacturer.clear();
  port.vendorId = std::move(vendorId);
  port.productId = std::move(productId);
  port.version.clear();
}

}  // namespace

bool probePlatformUart(const std::string& devicePath, PortInfo& port, PortFacts& facts,
                       const FileSystemRoot& root) {
  if (ttyClassEntry(devicePath).empty())
    return false;
  const std::string folder = hardwareFolder(devicePath, root);
  const std::optional<PortKind> kind = uartKind(folder, root);
  if (!kind)
    return false;
  port.portName = devicePath;
  port.inUse = false;
  if (*kind == PortKind::kPlugAndPlay)
    describePlugAndPlay(folder, root, port);
  else
    describePci(folder, root, port);
  facts.kind = *kind;
  return true;
}

}  // namespace ttyenum
