#include "app/port_watch.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <time.h>

#include <utility>
#include <vector>

#include "app/output_delivery.h"
#include "app/port_listing_run.h"
#include "discovery/device_change_monitor.h"
#include "discovery/port_enumerator.h"
#include "forms/format_port_info.h"
#include "forms/json_listing.h"
#include "forms/output_escape.h"

namespace ttyenum {

namespace {

// How long the first sign of a change waits for more, so that a hub with several adapters
// gives one scan rather than one per adapter.
constexpr long kSettleNanoseconds = 50L * 1000 * 1000;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
  stopRequested = 1;
}

// The stop signals are blocked except inside ppoll, so one can never arrive between a check of
// `stopRequested` and the sleep that it should end.
class StopSignals {
 public:
  StopSignals() {
    ::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a failed write instead
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : kStopSignals)
      sigaddset(&stops, signal);
    ::sigprocmask(SIG_BLOCK, &stops, &waitMask_);
    for (const int signal : kStopSignals)
      sigdelset(&waitMask_, signal);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
      ::sigaction(signal, &action, nullptr);
  }

  // The mask to wait under: the stop signals let through.
  const sigset_t* waitMask() const { return &waitMask_; }

  // True when a stop signal has arrived or waits to be delivered.
  bool stopPending() const {
    if (stopRequested)
      return true;
    sigset_t pending;
    if (::sigpending(&pending) != 0)
      return false;
    for (const int signal : kStopSignals) {
      if (sigismember(&pending, signal) == 1)
        return true;
    }
    return false;
  }

 private:
  sigset_t waitMask_;
};

long long monotonicNanoseconds() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Sleeps for the settling time; false when a stop signal ended the sleep.
bool settle(const StopSignals& signals) {
  const long long deadline = monotonicNanoseconds() + kSettleNanoseconds;
  for (;;) {
    if (signals.stopPending())
      return false;
    const long long left = deadline - monotonicNanoseconds();
    if (left <= 0)
      return true;
    const struct timespec timeout = {static_cast<time_t>(left / 1000000000LL),
                                     static_cast<long>(left % 1000000000LL)};
    ::ppoll(nullptr, 0, &timeout, signals.waitMask());
  }
}

// Waits until the monitor reports a change, then for the settling time. Every event read so far
// is covered by a scan that starts after this returns true; false when a stop signal came.
bool waitForChange(const DeviceChangeMonitor& monitor, const StopSignals& signals) {
  std::vector<struct pollfd> fds;
  for (const int fd : monitor.descriptors())
    fds.push_back(pollfd{fd, POLLIN, 0});
  for (;;) {
    if (signals.stopPending())
      return false;
    if (::ppoll(fds.data(), fds.size(), nullptr, signals.waitMask()) < 0)
      continue;  // EINTR: the check above decides
    if (monitor.collect() != DeviceChange::kNone)
      break;
  }
  if (!settle(signals))
    return false;
  monitor.collect();
  return true;
}

}  // namespace

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

int watchPorts(const ListingSettings& settings, int outFd, std::ostream& errors) {
  const StopSignals signals;
  // Subscribed before the first scan, so that nothing that happens during it is missed.
  DeviceChangeMonitor monitor;
  std::string reason;
  if (!monitor.start(reason)) {
    errors << "ttyenum: cannot watch /dev: " << reason << '\n';
    errors.flush();
    return kExitWriteError;
  }
  PortEnumerator enumerator;
  std::vector<ListedPort> listed;
  do {
    std::vector<ListedPort> fresh = scanPorts(enumerator, settings).ports;
    for (const PortEvent& event : portEvents(listed, fresh)) {
      if (deliverOutput(outFd, watchEventLine(event, settings), errors) != kExitSuccess)
        return kExitWriteError;
      if (signals.stopPending())
        return kExitSuccess;
    }
    listed = std::move(fresh);
  } while (waitForChange(monitor, signals));
  return kExitSuccess;
}

}  // namespace ttyenum
