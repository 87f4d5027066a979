#pragma once

#include <vector>

#include "common/listed_port.h"

namespace ttyenum {

enum class PortEventKind { kAdd, kRemove };

struct PortEvent {
  PortEventKind kind = PortEventKind::kAdd;
  ListedPort listed;  // for a removal, the port as the older listing saw it
};

// The events that turn the `older` listing into the `newer` one. A port is the same in both when
// its name and, for a character device node, its device number agree; other fields may differ.
// A port only in `older` is removed, one only in `newer` added, and one whose device number
// changed is removed and added. Every removal comes first, in the order of `older`, then every
// addition, in the order of `newer`.
std::vector<PortEvent> portEvents(const std::vector<ListedPort>& older,
                                  const std::vector<ListedPort>& newer);

}  // namespace ttyenum
