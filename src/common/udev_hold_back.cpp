#include "common/udev_hold_back.h"

#include <algorithm>
#include <utility>

#include "common/port_events.h"
#include "common/stop_signals.h"

namespace ttyenum {

namespace {

constexpr long long kUdevLimit = 2000LL * 1000 * 1000;

}  // namespace

UdevHoldBack::UdevHoldBack(std::function<bool(const ListedPort&)> finished)
    : finished_(std::move(finished)) {}

std::vector<ListedPort> UdevHoldBack::reportable(const std::vector<ListedPort>& listed,
                                                 const std::vector<ListedPort>& reported,
                                                 long long now) {
  std::vector<ListedPort> ports;
  std::vector<Held> stillHeld;
  for (const ListedPort& port : listed) {
    const auto same = [&](const ListedPort& other) { return samePort(port, other); };
    if (!finished_ || std::any_of(reported.begin(), reported.end(), same) || finished_(port)) {
      ports.push_back(port);
      continue;
    }
    const auto held = std::find_if(held_.begin(), held_.end(),
                                   [&](const Held& entry) { return same(entry.listed); });
    const long long since = held == held_.end() ? now : held->since;
    if (now - since >= kUdevLimit)
      ports.push_back(port);
    else
      stillHeld.push_back(Held{port, since});
  }
  held_ = std::move(stillHeld);  // a held port that is gone is forgotten
  return ports;
}

long long UdevHoldBack::due() const {
  long long due = -1;
  for (const Held& entry : held_)
    due = earlierTime(due, entry.since + kUdevLimit);
  return due;
}

}  // namespace ttyenum
