#pragma once

#include <functional>
#include <vector>

#include "common/listed_port.h"

namespace ttyenum {

// Where udev runs, holds back a port that has just appeared until udev has finished with it, or
// for 2 s at most, so that its links, group and mode are in place when it is reported.
class UdevHoldBack {
 public:
  // `finished` tells whether udev is done with a port; empty where udev does not run.
  explicit UdevHoldBack(std::function<bool(const ListedPort&)> finished);

  // The ports of `listed` to report now, in its order: those in `reported` (the ports reported
  // before) and the others that udev is done with or that have waited 2 s. The rest are held.
  std::vector<ListedPort> reportable(const std::vector<ListedPort>& listed,
                                     const std::vector<ListedPort>& reported, long long now);
  // When the first held port's time is up; < 0 when none is held.
  long long due() const;

 private:
  struct Held {
    ListedPort listed;
    long long since = 0;
  };
  std::function<bool(const ListedPort&)> finished_;
  std::vector<Held> held_;
};

}  // namespace ttyenum
