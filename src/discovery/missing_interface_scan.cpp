#include "discovery/missing_interface_scan.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "common/whole_number.h"
#include "discovery/sysfs_attribute.h"
#include "usage/open_handle_scan.h"

namespace ttyenum {

namespace {

constexpr char kUsbDevices[] = "/sys/bus/usb/devices/";
constexpr unsigned kLastAcmProtocol = 6;

// The interface entries of /sys/bus/usb/devices ("1-2:1.0"; devices have no ":"), sorted.
std::vector<std::string> interfaceNames(const FileSystemRoot& root) {
  std::vector<std::string> names;
  DIR* folder = ::opendir(root.path(kUsbDevices).c_str());
  if (folder == nullptr)
    return names;
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.' && std::string(entry->d_name).find(':') != std::string::npos)
      names.emplace_back(entry->d_name);
  }
  ::closedir(folder);
  std::sort(names.begin(), names.end());
  return names;
}

// The name of the driver bound to a device folder (with its trailing slash); empty for none.
std::string boundDriver(const std::string& folder, const FileSystemRoot& root) {
  std::string linkText;
  if (!readLinkText(folder + "driver", linkText, root))
    return std::string();
  return linkText.substr(linkText.rfind('/') + 1);
}

std::string attribute(const std::string& folder, const char* name, const FileSystemRoot& root) {
  return readSysfsAttribute(folder + name, false, root);
}

bool moduleLoaded(const std::string& module, const FileSystemRoot& root) {
  return ::access(root.path("/sys/module/" + module).c_str(), F_OK) == 0;
}

void chooseReason(MissingInterface& interface, const FileSystemRoot& root) {
  if (interface.usbfs) {
    interface.reason = MissingReason::kClaimed;
    return;
  }
  if (interface.modules.empty()) {
    interface.reason = MissingReason::kNoDriver;
    return;
  }
  for (const std::string& module : interface.modules) {
    if (!moduleLoaded(module, root)) {
      interface.reason = MissingReason::kModuleNotLoaded;
      interface.reasonModule = module;
      return;
    }
  }
  interface.reason = MissingReason::kModuleLoaded;
  interface.reasonModule = interface.modules.front();
}

void describeDevice(MissingInterface& interface, const FileSystemRoot& root) {
  const std::string device = kUsbDevices + interface.usbLocation + "/";
  interface.vendorId = attribute(device, "idVendor", root);
  interface.productId = attribute(device, "idProduct", root);
  interface.manufacturer = attribute(device, "manufacturer", root);
  interface.product = attribute(device, "product", root);
  interface.serialNumber = attribute(device, "serial", root);
}

// /dev/bus/usb/BBB/DDD of the device, from its bus and device numbers; empty when unknown.
std::string usbDeviceNode(const std::string& usbLocation, const FileSystemRoot& root) {
  const std::string device = kUsbDevices + usbLocation + "/";
  const std::optional<unsigned> bus = wholeNumber(attribute(device, "busnum", root), 10);
  const std::optional<unsigned> number = wholeNumber(attribute(device, "devnum", root), 10);
  if (!bus || !number)
    return std::string();
  char node[64];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", *bus, *number);
  return node;
}

// One walk of /proc for the usbfs-bound interfaces' device nodes.
void findClaimersOf(std::vector<MissingInterface>& interfaces, const FileSystemRoot& root) {
  std::vector<std::string> nodes;
  std::vector<MissingInterface*> claimed;
  for (MissingInterface& interface : interfaces) {
    if (!interface.usbfs)
      continue;
    const std::string node = usbDeviceNode(interface.usbLocation, root);
    if (node.empty())
      continue;
    nodes.push_back(node);
    claimed.push_back(&interface);
  }
  if (nodes.empty())
    return;
  const std::vector<int> holders = findHolderPids(nodes, root);
  for (size_t i = 0; i < claimed.size(); ++i) {
    if (holders[i] < 0)
      continue;
    if (std::optional<std::string> command = processCommand(holders[i], root))
      claimed[i]->claimedBy = UsbClaimer{holders[i], std::move(*command)};
  }
}

}  // namespace

bool isCdcAcmClass(const std::string& interfaceClass, const std::string& subclass,
                   const std::string& protocol) {
  const std::optional<unsigned> number = wholeNumber(protocol, 16);
  return wholeNumber(interfaceClass, 16) == 2u && wholeNumber(subclass, 16) == 2u && number &&
         *number <= kLastAcmProtocol;
}

MissingListing findMissingInterfaces(ModuleIndex& index, MissingDetail detail,
                                     const FileSystemRoot& root) {
  MissingListing listing;
  for (const std::string& name : interfaceNames(root)) {
    const std::string folder = kUsbDevices + name + "/";
    const std::string driver = boundDriver(folder, root);
    if (!driver.empty() && driver != "usbfs")
      continue;
    MissingInterface interface;
    interface.interface = name;
    const bool acm = isCdcAcmClass(attribute(folder, "bInterfaceClass", root),
                                   attribute(folder, "bInterfaceSubClass", root),
                                   attribute(folder, "bInterfaceProtocol", root));
    if (detail == MissingDetail::kNames && acm) {
      listing.interfaces.push_back(std::move(interface));
      continue;
    }
    interface.modules = index.serialModulesFor(attribute(folder, "modalias", root));
    if (interface.modules.empty() && !acm)
      continue;
    if (detail == MissingDetail::kNames) {
      listing.interfaces.push_back(std::move(interface));
      continue;
    }
    interface.usbLocation = name.substr(0, name.find(':'));
    interface.usbInterface = wholeNumber(attribute(folder, "bInterfaceNumber", root), 16);
    interface.usbfs = !driver.empty();
    describeDevice(interface, root);
    chooseReason(interface, root);
    listing.interfaces.push_back(std::move(interface));
  }
  listing.indexUnreadable = !index.readable();
  if (detail == MissingDetail::kFull)
    findClaimersOf(listing.interfaces, root);
  return listing;
}

}  // namespace ttyenum
