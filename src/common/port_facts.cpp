#include "common/port_facts.h"

namespace ttyenum {

const char* kindName(PortKind kind) {
  switch (kind) {
    case PortKind::kPlugAndPlay:
      return "pnp";
    case PortKind::kPci:
      return "pci";
    case PortKind::kAmba:
      return "amba";
    case PortKind::kPlatform:
      return "platform";
    case PortKind::kSpi:
      return "spi";
    case PortKind::kI2c:
      return "i2c";
    case PortKind::kUsb:
      break;
  }
  return "usb";
}

}  // namespace ttyenum
