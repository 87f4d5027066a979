#pragma once

#include <optional>
#include <string>

namespace ttyenum {

// What a udev rule for one port can match on, as discovery reads it from sysfs, /dev and the
// udev database. Empty texts and absent numbers are facts that could not be read.
struct UdevRuleFacts {
  std::string kernelName;  // such as ttyUSB0
  bool onUsb = false;      // the tty class link leads through a USB interface
  std::string vendorId;    // the USB device's idVendor, idProduct and serial
  std::string productId;
  std::string serial;
  bool serialShared = false;  // another USB device with the same ids reports the same serial
  std::string idPath;         // E:ID_PATH of the port's udev database entry
  std::string byPathLink;     // the port's link in /dev/serial/by-path
  std::string interfaceName;  // the interface's sysfs name, such as 1-4:2.10
  std::optional<unsigned> interfaceNumber;  // its bInterfaceNumber
  unsigned interfaceCount = 0;              // the USB device's bNumInterfaces
  std::optional<unsigned> portNumber;       // a usb-serial port's port_number
  unsigned portsOnInterface = 0;            // usb-serial ports on the same interface
};

}  // namespace ttyenum
