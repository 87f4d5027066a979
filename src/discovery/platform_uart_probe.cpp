#include "discovery/platform_uart_probe.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "discovery/sysfs_attribute.h"

namespace ttyenum {

namespace {

// The device that describes the port: its folder, with a trailing slash, and its bus, read once
// for all the rules.
struct HardwareDevice {
  std::string folder;
  std::string bus;
};

// Since Linux 6.5 the tty's device is a port device on the serial-base bus, below a controller
// device, below the real hardware; then the hardware is two levels up. ".." is resolved by the
// kernel from where the links lead, so it climbs from the port device, not from the class. The
// link's text is enough; its target need not exist.
HardwareDevice hardwareDevice(const std::string& devicePath, const FileSystemRoot& root) {
  const std::string deviceFolder = ttyClassEntry(devicePath) + "/device/";
  std::string bus = deviceSubsystem(deviceFolder, root);
  if (bus != "serial-base")
    return {deviceFolder, std::move(bus)};
  const std::string folder = deviceFolder + "../../";
  return {folder, deviceSubsystem(folder, root)};
}

bool readable(const std::string& logicalPath, const FileSystemRoot& root) {
  return ::access(root.path(logicalPath).c_str(), R_OK) == 0;
}

bool hasLink(const std::string& logicalPath, const FileSystemRoot& root) {
  std::string target;
  return readLinkText(logicalPath, target, root);
}

// The device's own name: the last component of its folder once every link is resolved.
std::string deviceName(const std::string& folder, const FileSystemRoot& root) {
  char* resolved = ::realpath(root.path(folder).c_str(), nullptr);
  if (resolved == nullptr)
    return std::string();
  const std::string path = resolved;
  std::free(resolved);
  return path.substr(path.rfind('/') + 1);
}

bool isFirmwareDescribed(const HardwareDevice& device, const FileSystemRoot& root) {
  return hasLink(device.folder + "of_node", root) || hasLink(device.folder + "firmware_node", root);
}

bool hasResources(const HardwareDevice& device, const FileSystemRoot& root) {
  return readable(device.folder + "resources", root);
}

bool hasResource(const HardwareDevice& device, const FileSystemRoot& root) {
  return readable(device.folder + "resource", root);
}

bool isAmbaDevice(const HardwareDevice& device, const FileSystemRoot&) {
  return device.bus == "amba";
}

// A platform device is only as real as its description: a device-tree node or an ACPI
// companion. The legacy "serial8250" device stands for UARTs that may not exist.
bool isDescribedPlatformDevice(const HardwareDevice& device, const FileSystemRoot& root) {
  return device.bus == "platform" && isFirmwareDescribed(device, root) &&
         deviceName(device.folder, root) != "serial8250";
}

// UART chips on a serial bus (SC16IS7xx, MAX310x): one device for all of a chip's ports.
bool isDescribedSpiDevice(const HardwareDevice& device, const FileSystemRoot& root) {
  return device.bus == "spi" && isFirmwareDescribed(device, root);
}

bool isDescribedI2cDevice(const HardwareDevice& device, const FileSystemRoot& root) {
  return device.bus == "i2c" && isFirmwareDescribed(device, root);
}

struct UartRule {
  bool (*fits)(const HardwareDevice& device, const FileSystemRoot& root);
  PortKind kind;
};

// The first rule that fits the hardware device decides. The PL011 has a "resource" file too, so
// the amba rule comes before the PCI one.
const UartRule kUartRules[] = {
    {hasResources, PortKind::kPlugAndPlay}, {isAmbaDevice, PortKind::kAmba},
    {hasResource, PortKind::kPci},          {isDescribedPlatformDevice, PortKind::kPlatform},
    {isDescribedSpiDevice, PortKind::kSpi}, {isDescribedI2cDevice, PortKind::kI2c},
};

std::optional<PortKind> uartKind(const HardwareDevice& device, const FileSystemRoot& root) {
  for (const UartRule& rule : kUartRules) {
    if (rule.fits(device, root))
      return rule.kind;
  }
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

// An on-chip UART or a UART chip on a serial bus: its hardware id text (`idFile`) as the serial
// number. The driver is searched for, since a device-tree uevent may put OF_ lines first.
void describeOnChip(const std::string& folder, const std::string& idFile,
                    const FileSystemRoot& root, PortInfo& port) {
  std::string driver = deviceDriverName(folder, root);
  std::string id = readSysfsAttribute(folder + idFile, false, root);
  port.serialNumber = std::move(id);
  port.product = "UART";
  port.driver = std::move(driver);
  port.manufacturer.clear();
  port.vendorId.clear();
  port.productId.clear();
  port.version.clear();
}

}  // namespace

bool probePlatformUart(const std::string& devicePath, PortInfo& port, PortFacts& facts,
                       const FileSystemRoot& root) {
  if (ttyClassEntry(devicePath).empty())
    return false;
  const HardwareDevice device = hardwareDevice(devicePath, root);
  const std::optional<PortKind> kind = uartKind(device, root);
  if (!kind)
    return false;
  const std::string& folder = device.folder;
  port.portName = devicePath;
  port.inUse = false;
  if (*kind == PortKind::kPlugAndPlay)
    describePlugAndPlay(folder, root, port);
  else if (*kind == PortKind::kPci)
    describePci(folder, root, port);
  else
    describeOnChip(folder, *kind == PortKind::kAmba ? "id" : "modalias", root, port);
  facts.kind = *kind;
  return true;
}

}  // namespace ttyenum
