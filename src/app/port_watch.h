#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "common/port_events.h"
#include "discovery/device_change_monitor.h"
#include "discovery/port_enumerator.h"

namespace ttyenum {

// One event as the watch writes it, ending with a line feed. Text: "add" or "remove", a tab, then
// the port through the format (less the format's own line feed) or else its name. JSON:
// {"event": "add", "port": {...}} with the document's port object.
std::string watchEventLine(const PortEvent& event, const ListingSettings& settings);

// What one scan found: the ports that pass the filters, in listing order, and the nodes of every
// port found before the filters.
struct WatchScan {
  std::vector<ListedPort> listed;
  std::vector<std::string> nodes;
};

// What a watch or a wait is made of, from its caller: the change source (started), the scan, and
// where udev runs, whether it has finished with a port.
struct WatchWiring {
  ChangeSource& source;
  std::function<WatchScan()> scan;
  std::function<bool(const ListedPort&)> udevFinished;  // empty where udev does not run
  bool watchNodes = false;  // the listing depends on holders: watch the nodes' opens and closes
};

// Keeps running and writes to `outFd` one line per port that the listing with `settings` would
// print now, then one per port that appears or disappears, from a new scan each time `wiring`'s
// source reports a change and it has settled. Where udev runs, a new port is reported once udev
// has finished with it, or after 2 s. Ends with kExitSuccess on SIGINT, SIGTERM or SIGHUP (those
// not ignored at the start); with kExitWriteError, the reason written to `errors`, when a line
// cannot be written, the reader has gone or the source can no longer be watched.
int watchPorts(const ListingSettings& settings, WatchWiring& wiring, int outFd,
               std::ostream& errors);

// The same on the machine's own change sources, with ports from `enumerator`.
int watchPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
               std::ostream& errors);

// Runs `body` with the machine's change sources, started, and scans by `enumerator` with
// `settings`; where the sources cannot be had, writes "ttyenum: cannot watch /dev: <reason>" and
// returns kExitWriteError.
int withMachineWiring(const ListingSettings& settings, PortEnumerator& enumerator,
                      std::ostream& errors, const std::function<int(WatchWiring&)>& body);

// "ttyenum: cannot watch /dev: <reason>" on `errors`; returns kExitWriteError.
int cannotWatch(const std::string& reason, std::ostream& errors);

}  // namespace ttyenum
