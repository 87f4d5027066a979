#include "common/port_events.h"

#include <algorithm>

namespace ttyenum {

namespace {

bool sameDevice(const std::optional<DeviceNumber>& a, const std::optional<DeviceNumber>& b) {
  if (!a || !b)
    return !a && !b;
  return a->major == b->major && a->minor == b->minor;
}

// A USB device plugged anew gets a new address even where its name and device number repeat;
// the serial number tells one adapter from another of the same make.
bool sameUsbDevice(const ListedPort& a, const ListedPort& b) {
  const bool aUsb = a.facts.kind == PortKind::kUsb;
  if (aUsb != (b.facts.kind == PortKind::kUsb))
    return false;
  return !aUsb || (a.facts.usbBusNumber == b.facts.usbBusNumber &&
                   a.facts.usbDeviceAddress == b.facts.usbDeviceAddress &&
                   a.port.serialNumber == b.port.serialNumber);
}

// Appends an event of `kind` for each port of `ports` that `others` does not hold.
void appendMissing(PortEventKind kind, const std::vector<ListedPort>& ports,
                   const std::vector<ListedPort>& others, std::vector<PortEvent>& events) {
  for (const ListedPort& listed : ports) {
    const bool found = std::any_of(others.begin(), others.end(), [&](const ListedPort& other) {
      return samePort(listed, other);
    });
    if (!found)
      events.push_back(PortEvent{kind, listed});
  }
}

}  // namespace

bool samePort(const ListedPort& a, const ListedPort& b) {
  return a.port.portName == b.port.portName && sameDevice(a.facts.device, b.facts.device) &&
         sameUsbDevice(a, b);
}

std::vector<PortEvent> portEvents(const std::vector<ListedPort>& older,
                                  const std::vector<ListedPort>& newer) {
  std::vector<PortEvent> events;
  appendMissing(PortEventKind::kRemove, older, newer, events);
  appendMissing(PortEventKind::kAdd, newer, older, events);
  return events;
}

}  // namespace ttyenum
