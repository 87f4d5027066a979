#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/port_holder.h"

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

// The name of a kind as the JSON and metrics forms and %k write it: "pnp", "pci", "amba",
// "platform", "spi", "i2c", "usb".
const char* kindName(PortKind kind);

struct DeviceNumber {
  unsigned major = 0;
  unsigned minor = 0;

  // "major:minor", such as 188:0.
  std::string text() const { return std::to_string(major) + ":" + std::to_string(minor); }
};

// What discovery and the holder scan learn of a port beyond its PortInfo. Kept beside the
// record, at the same index of a list of its own, so that PortInfo keeps its nine fields.
struct PortFacts {
  PortKind kind = PortKind::kUsb;
  int holderPid = -1;  // the holder's pid (see holderVia); -1 for none or when unknown
  std::optional<std::string> holderCommand;  // its /proc/<pid>/comm, when it could be read
  std::optional<HolderVia> holderVia;        // what shows the holder; none when the port is free
  bool console = false;                      // the kernel writes its messages to the port
  std::optional<DeviceNumber> device;        // when the node is a character device
  std::string usbLocation;  // USB ports: the device that owns the interface, such as 1-1.2
  std::optional<unsigned> usbInterface;  // USB ports: that interface's bInterfaceNumber
  // USB ports, when asked for: the device's bus number and its address on the bus (devnum),
  // which the kernel gives anew at each plug.
  std::optional<unsigned> usbBusNumber;
  std::optional<unsigned> usbDeviceAddress;
  std::vector<std::string> links;  // /dev/serial/by-id and by-path links to the node, sorted
  std::string group;   // the name of the node's group; empty when the node or the name is unknown
  std::string access;  // "rw", "r" or "w": what this process may open the node for; else empty

  // The first of `links` in `folder` (given with its trailing slash); empty when there is none.
  std::string firstLinkIn(const std::string& folder) const {
    for (const std::string& link : links) {
      if (link.compare(0, folder.size(), folder) == 0)
        return link;
    }
    return std::string();
  }
};

// Which of the facts that cost more than the probes' own reads a listing wants. The kind, the
// holder's pid and the USB location and interface always come with the probes and the scan.
struct FactNeeds {
  bool holderCommand = false;   // /proc/<pid>/comm of each holder
  bool links = false;           // a walk of /dev/serial/by-id and by-path
  bool node = false;            // the node's device number, group and access: a stat and two
                                // faccessat calls per port
  bool console = false;         // /sys/class/tty/console/active
  bool usbAddress = false;      // a USB port's bus number and device address: two reads
  bool holderCoverage = false;  // how many processes could not be read: the holder scan opens
                                // every descriptor folder, even once every port has a holder

  // Every fact that a form can show; the USB address is not one.
  static FactNeeds all() { return {true, true, true, true, false, true}; }
  bool any() const {
    return holderCommand || links || node || console || usbAddress || holderCoverage;
  }
};

}  // namespace ttyenum
