#pragma once

#include <ostream>

#include "app/run_settings.h"
#include "common/file_system_root.h"
#include "common/listed_port.h"
#include "discovery/port_enumerator.h"

namespace ttyenum {

// One scan: enumerates with the facts that the settings' form needs and keeps what passes the
// filters.
PortListing scanPorts(PortEnumerator& enumerator, const ListingSettings& settings);

// Writes one scan's listing in the chosen form (metrics over JSON over the text forms) to `outFd`
// in one piece, so that a failed write is seen and reported once; returns the exit status.
// In the long form, "ttyenum: N USB serial interface(s) without a port; see ttyenum --missing"
// follows on `errors` when such interfaces exist in the enumerator's root.
int listPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
              std::ostream& errors);

// Writes the USB serial interfaces without a port (JSON with settings.json, else text) to
// `outFd`, saying on `errors` when the module index could not be read; returns the exit status.
int listMissingInterfaces(const ListingSettings& settings, const FileSystemRoot& root, int outFd,
                          std::ostream& errors);

}  // namespace ttyenum
