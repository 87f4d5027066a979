#pragma once

#include <ostream>

#include "common/missing_interface.h"

namespace ttyenum {

// One line per interface: name, VID:PID, product and reason, separated by tabs, each field
// escaped as every text field is. An empty list writes nothing.
void writeMissingText(const MissingListing& listing, std::ostream& out);

// {"missing": [...]} on one line: per interface its name, USB location and interface number,
// the device's ids and texts, its driver ("usbfs" or null), the serial modules, the reason and
// the claiming process ({"pid": N, "command": "..."} or null).
void writeMissingJson(const MissingListing& listing, std::ostream& out);

}  // namespace ttyenum
