#include "app/port_watch.h"

#include <utility>
#include <vector>

#include "app/change_waiter.h"
#include "app/exit_status.h"
#include "app/output_delivery.h"
#include "app/port_listing_run.h"
#include "common/udev_hold_back.h"
#include "discovery/udev_database.h"
#include "forms/format_port_info.h"
#include "forms/json_listing.h"
#include "forms/output_escape.h"

namespace ttyenum {

namespace {

// True when the lines of the listing change with a port's holder: the state filter, the JSON
// form, or a format whose output does.
bool listingShowsHolders(const ListingSettings& settings) {
  if (settings.filter.state != StateFilter::kExist || settings.json)
    return true;
  if (settings.format.empty())
    return false;
  PortInfo port;
  PortFacts facts;
  const std::string free = formatPortInfo(port, facts, settings.format);
  port.inUse = true;
  facts.holderPid = 1;
  facts.holderCommand = "init";
  return formatPortInfo(port, facts, settings.format) != free;
}

WatchScan scanMachine(PortEnumerator& enumerator, const ListingSettings& settings) {
  WatchScan scan;
  scan.listed = scanPorts(enumerator, settings, &scan.nodes).ports;
  return scan;
}

}  // namespace

int cannotWatch(const std::string& reason, std::ostream& errors) {
  return failWith("cannot watch /dev: " + reason, errors);
}

std::string watchEventLine(const PortEvent& event, const ListingSettings& settings) {
  const std::string word = event.kind == PortEventKind::kAdd ? "add" : "remove";
  const PortInfo& port = event.listed.port;
  if (settings.json)
    return "{\"event\": \"" + word + "\", \"port\": " + jsonPortText(event.listed) + "}\n";
  std::string text;
  if (!settings.format.empty()) {
    text = formatPortInfo(port, event.listed.facts, settings.format);
    text.pop_back();  // the format's own line feed
  } else {
    text = escapeFieldText(port.portName);
  }
  return word + "\t" + text + "\n";
}

int watchPorts(const ListingSettings& settings, WatchWiring& wiring, int outFd,
               std::ostream& errors) {
  const StopSignals signals;
  ChangeWaiter waiter(wiring.source, signals, outFd);
  UdevHoldBack holdBack(wiring.udevFinished);
  std::vector<ListedPort> reported;
  for (;;) {
    WatchScan scan = wiring.scan();
    if (wiring.watchNodes)
      wiring.source.watchNodes(scan.nodes);
    std::vector<ListedPort> fresh =
        holdBack.reportable(scan.listed, reported, monotonicNanoseconds());
    for (const PortEvent& event : portEvents(reported, fresh)) {
      bool stopped = false;
      if (writeUnlessStopped(outFd, watchEventLine(event, settings), signals, errors, stopped) !=
          kExitSuccess)
        return kExitWriteError;
      if (stopped)
        return kExitSuccess;
    }
    reported = std::move(fresh);
    std::string reason;
    switch (waiter.waitForScan(holdBack.due(), -1, reason)) {
      case WaitOutcome::kScan:
      case WaitOutcome::kTimeout:
        break;
      case WaitOutcome::kStopped:
        return kExitSuccess;
      case WaitOutcome::kReaderGone:
        return failWith("write error: " + reason, errors);
      case WaitOutcome::kFailed:
        return cannotWatch(reason, errors);
    }
  }
}

int withMachineWiring(const ListingSettings& settings, PortEnumerator& enumerator,
                      std::ostream& errors, const std::function<int(WatchWiring&)>& body) {
  // Subscribed before the first scan, so that nothing that happens during it is missed.
  DeviceChangeMonitor monitor;
  std::string reason;
  if (!monitor.start(reason))
    return cannotWatch(reason, errors);
  WatchWiring wiring{monitor, [&] { return scanMachine(enumerator, settings); }, nullptr,
                     listingShowsHolders(settings)};
  if (udevRuns())
    wiring.udevFinished = [](const ListedPort& listed) {
      return !listed.facts.device || udevHasEntry(*listed.facts.device);
    };
  return body(wiring);
}

int watchPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
               std::ostream& errors) {
  return withMachineWiring(settings, enumerator, errors, [&](WatchWiring& wiring) {
    return watchPorts(settings, wiring, outFd, errors);
  });
}

}  // namespace ttyenum
