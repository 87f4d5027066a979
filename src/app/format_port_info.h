#pragma once

#include <string>

#include "common/port_info.h"

namespace ttyenum {

// Renders one port through a user format, walked byte by byte: %c port name, %u vendor and
// product id joined by ":", %m manufacturer, %p product, %n serial number, %d driver, %v version,
// %s "used" or "free", %t a tab, %% a "%". Any other byte after "%" is dropped with the "%", as is
// a trailing "%". Field texts pass through escapeFieldText; the format's own bytes do not. The
// result ends with one line feed.
std::string formatPortInfo(const PortInfo& port, const std::string& format);

}  // namespace ttyenum
