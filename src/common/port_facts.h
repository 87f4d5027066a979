#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ttyenum {

// How discovery judged a port to be real hardware.
enum class PortKind {
  kPlugAndPlay,  // a "resources" file: PNP (ACPI or ISA)
  kPci,          // a "resource" file: a PCI function
  kAmba,         // a device on the amba bus, such as the PL011 of ARM boards
  kPlatform,     // a platform device that firmware describes (device tree or ACPI)
  kSpi,          // a UART chip on the spi bus that firmware describes, such as an SC16IS752
  kI2c,          // the same on the i2c bus
  kUsb,          // a tty class link through a USB interface
};

struct DeviceNumber {
  unsigned major = 0;
  unsigned minor = 0;
};

// What discovery and the holder scan learn of a port beyond its PortInfo. Kept beside the
// record, at the same index of a list of its own, so that PortInfo keeps its nine fields.
struct PortFacts {
  PortKind kind = PortKind::kUsb;
  int holderPid = -1;  // the first holder in the text order of /proc; -1 for none
  std::optional<std::string> holderCommand;  // its /proc/<pid>/comm, when it could be read
  std::optional<DeviceNumber> device;        // when the node is a character device
  std::string usbLocation;  // USB ports: the device that owns the interface, such as 1-1.2
  std::optional<unsigned> usbInterface;  // USB ports: that interface's bInterfaceNumber
  std::vector<std::string> links;        // /dev/serial/by-id and by-path links to the node, sorted
};

}  // namespace ttyenum
