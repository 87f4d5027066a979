#pragma once

#include <ostream>
#include <string>

#include "app/port_events.h"
#include "app/run_settings.h"

namespace ttyenum {

// One event as the watch writes it, ending with a line feed. Text: "add" or "remove", a tab, then
// the port through the format (less the format's own line feed) or else its name. JSON:
// {"event": "add", "port": {...}} with the document's port object.
std::string watchEventLine(const PortEvent& event, const ListingSettings& settings);

// Keeps running and writes to `outFd` one line per port that the listing with `settings` would
// print now, then one per port that appears or disappears; it rescans only when the kernel or
// /dev says that something changed. Ends with kExitSuccess on SIGINT, SIGTERM or SIGHUP once the
// current line is written; with kExitWriteError, the reason written to `errors`, when a line
// cannot be written or nothing can be watched.
int watchPorts(const ListingSettings& settings, int outFd, std::ostream& errors);

}  // namespace ttyenum
