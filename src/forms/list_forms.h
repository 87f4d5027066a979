#pragma once

#include <ostream>

#include "common/port_info.h"

namespace ttyenum {

// The ten-line block: rule, eight labelled fields, rule.
void writeLongForm(const PortInfo& port, std::ostream& out);
// The port name and a line feed.
void writeShortForm(const PortInfo& port, std::ostream& out);

}  // namespace ttyenum
