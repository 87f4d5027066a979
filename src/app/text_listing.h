#pragma once

#include <ostream>

#include "app/run_settings.h"
#include "common/listed_port.h"

namespace ttyenum {

// Writes each listed port in the chosen text form (format over short over long), then
// "Found serial ports: N" unless counting is off. A listing in which discovery found no port at
// all writes nothing at all. Returns the number of ports written.
int writeTextListing(const PortListing& listing, const ListingSettings& settings,
                     std::ostream& out);

}  // namespace ttyenum
