#pragma once

#include <ostream>

#include "app/port_watch.h"
#include "app/run_settings.h"
#include "discovery/port_enumerator.h"

namespace ttyenum {

// Writes to `outFd` the listing of the first scan in which at least one port passes the
// filters, the one at the start included, and returns kExitSuccess. It scans again when
// `wiring`'s source reports a change and it has settled; where udev runs, a port counts once
// udev has finished with it or 2 s after a scan first listed it, and the listing holds the ports
// that count. On the timeout of `settings` or a stop signal it writes nothing to `outFd`, says
// why on `errors` and returns kExitWriteError; so it does when the source fails.
int waitForPorts(const ListingSettings& settings, WatchWiring& wiring, int outFd,
                 std::ostream& errors);

// The same on the machine's own change sources, with ports from `enumerator`.
int waitForPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
                 std::ostream& errors);

}  // namespace ttyenum
