#pragma once

#include <vector>

#include "common/listed_port.h"

namespace ttyenum {

enum class PortEventKind { kAdd, kRemove };

struct PortEvent {
  PortEventKind kind = PortEventKind::kAdd;
  ListedPort listed;  // for a removal, the port as the older listing saw it
};

// True when the two are the same port: the same name, device number (or the lack of one) and,
// for a USB port, the same bus number, device address and serial number of its device.
bool samePort(const ListedPort& a, const ListedPort& b);

// The events that turn the `older` listing into the `newer` one. A port is the same in both when
// its name, its device number (or the lack of one) and, for a USB port, its device's bus number,
// address and serial number agree; other fields may differ. A port only in `older` is removed,
// one only in `newer` added, and one whose identity changed is removed and added. Every removal
// comes first, in the order of `older`, then every addition, in the order of `newer`.
std::vector<PortEvent> portEvents(const std::vector<ListedPort>& older,
                                  const std::vector<ListedPort>& newer);

}  // namespace ttyenum
