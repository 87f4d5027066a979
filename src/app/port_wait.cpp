#include "app/port_wait.h"

#include <string>
#include <utility>

#include "app/change_waiter.h"
#include "app/exit_status.h"
#include "app/output_delivery.h"
#include "app/port_listing_run.h"
#include "common/udev_hold_back.h"

namespace ttyenum {

int waitForPorts(const ListingSettings& settings, WatchWiring& wiring, int outFd,
                 std::ostream& errors) {
  const StopSignals signals;
  ChangeWaiter waiter(wiring.source, signals, -1);
  UdevHoldBack holdBack(wiring.udevFinished);
  const long long limit =
      settings.timeoutNanoseconds < 0 ? -1 : monotonicNanoseconds() + settings.timeoutNanoseconds;
  for (;;) {
    WatchScan scan = wiring.scan();
    if (wiring.watchNodes)
      wiring.source.watchNodes(scan.nodes);
    PortListing listing;
    listing.ports = holdBack.reportable(scan.listed, {}, monotonicNanoseconds());
    listing.found = scan.nodes.size();
    if (!listing.ports.empty())
      return deliverOutput(outFd, listingText(listing, settings), errors);
    std::string reason;
    switch (waiter.waitForScan(holdBack.due(), limit, reason)) {
      case WaitOutcome::kScan:
        break;
      case WaitOutcome::kTimeout:
        return failWith("no matching port within " + settings.timeoutText + " s", errors);
      case WaitOutcome::kStopped:
        return failWith("stopped before a matching port appeared", errors);
      case WaitOutcome::kReaderGone:
      case WaitOutcome::kFailed:
        return cannotWatch(reason, errors);
    }
  }
}

int waitForPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
                 std::ostream& errors) {
  return withMachineWiring(settings, enumerator, errors, [&](WatchWiring& wiring) {
    return waitForPorts(settings, wiring, outFd, errors);
  });
}

}  // namespace ttyenum
