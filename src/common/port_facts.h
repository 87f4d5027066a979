#pragma once

#include <string>

namespace ttyenum {

// How discovery judged a port to be real hardware.
enum class PortKind {
  kPlugAndPlay,  // a "resources" file: PNP (ACPI or ISA)
  kPci,          // a "resource" file: a PCI function
  kAmba,         // a device on the amba bus, such as the PL011 of ARM boards
  kPlatform,     // a platform device that firmware describes (device tree or ACPI)
  kUsb,          // a tty class link through a USB interface
};

// What discovery and the holder scan learn of a port beyond its PortInfo. Kept beside the
// record, at the same index of a list of its own, so that PortInfo keeps its nine fields.
struct PortFacts {
  PortKind kind = PortKind::kUsb;
  int holderPid = -1;  // the first holder in the text order of /proc; -1 for none
};

}  // namespace ttyenum
