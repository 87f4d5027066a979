#pragma once

#include <string>

#include "common/port_facts.h"
#include "common/port_info.h"

namespace ttyenum {

// Renders one port through a user format, walked byte by byte: %c port name, %u vendor and
// product id joined by ":", %m manufacturer, %p product, %n serial number, %d driver, %v version,
// %s "used" or "free", %t a tab, %% a "%". Any other byte after "%" is dropped with the "%", as is
// a trailing "%". Field texts pass through escapeFieldText; the format's own bytes do not. The
// result ends with one line feed. The letters of the facts (below) render empty.
std::string formatPortInfo(const PortInfo& port, const std::string& format);

// The same with the port's facts: %k kind, %h holder pid, %H holder command, %b first by-id link,
// %D device number (major:minor), %a access ("rw", "r", "w"), %g group; each empty where unknown.
std::string formatPortInfo(const PortInfo& port, const PortFacts& facts, const std::string& format);

// The facts beyond the probes' own reads that `format` shows, read by the same walk as the
// rendering: a "%%" pair or a trailing "%" names none.
FactNeeds factsUsedBy(const std::string& format);

}  // namespace ttyenum
