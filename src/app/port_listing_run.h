#pragma once

#include <ostream>

#include "app/run_settings.h"
#include "common/listed_port.h"
#include "discovery/port_enumerator.h"

namespace ttyenum {

// One scan: enumerates with the facts that the settings' form needs and keeps what passes the
// filters.
PortListing scanPorts(PortEnumerator& enumerator, const ListingSettings& settings);

// Writes one scan's listing in the chosen form (metrics over JSON over the text forms) to `outFd`
// in one piece, so that a failed write is seen and reported once; returns the exit status.
int listPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
              std::ostream& errors);

}  // namespace ttyenum
