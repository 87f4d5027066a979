#pragma once

#include <string>

namespace ttyenum {

// One serial port as discovery found it. Texts are byte strings as sysfs gives them, less one
// final newline; empty text means the value is not available.
struct PortInfo {
  std::string portName;  // device node path, such as /dev/ttyUSB0
  std::string serialNumber;
  std::string product;
  std::string driver;
  std::string manufacturer;
  std::string vendorId;
  std::string productId;
  std::string version;
  bool inUse = false;  // some process holds the node open
};

}  // namespace ttyenum
