#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ttyenum {

// Why a USB interface that a serial driver would serve has no port.
enum class MissingReason {
  kClaimed,          // bound to usbfs: a program holds it through /dev/bus/usb
  kModuleLoaded,     // no driver, though `reasonModule` is loaded (unbound, or its probe failed)
  kModuleNotLoaded,  // no driver, and `reasonModule` is not loaded
  kNoDriver,         // no driver, and no serial module known for it
};

// A process that holds a device's /dev/bus/usb node open, and its /proc/<pid>/comm.
struct UsbClaimer {
  int pid = -1;
  std::string command;
};

// One USB interface without a port, with what sysfs says of its device.
struct MissingInterface {
  std::string interface;                 // the sysfs name, such as 1-2:1.0
  std::string usbLocation;               // the device's sysfs name, such as 1-2
  std::optional<unsigned> usbInterface;  // bInterfaceNumber
  std::string vendorId;
  std::string productId;
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
  bool usbfs = false;                // bound to usbfs rather than to no driver
  std::vector<std::string> modules;  // the serial modules the index names, in its order
  MissingReason reason = MissingReason::kNoDriver;
  std::string reasonModule;             // the module the reason names, if any
  std::optional<UsbClaimer> claimedBy;  // for kClaimed, when the holder could be seen
};

// The interfaces in the byte order of their names, and whether the module index had to be
// consulted and could not be read (only the CDC ACM class was then checked).
struct MissingListing {
  std::vector<MissingInterface> interfaces;
  bool indexUnreadable = false;
};

// The reason as one line of text, such as "no driver bound; ftdi_sio is not loaded (modprobe
// ftdi_sio)".
std::string missingReasonText(const MissingInterface& interface);

}  // namespace ttyenum
