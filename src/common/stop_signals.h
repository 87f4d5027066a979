#pragma once

#include <poll.h>
#include <signal.h>

#include <vector>

namespace ttyenum {

// The monotonic clock in nanoseconds.
long long monotonicNanoseconds();

// The earlier of two monotonic times, < 0 standing for "none".
long long earlierTime(long long a, long long b);

// For as long as it lives: catches SIGINT, SIGTERM and SIGHUP (each one whose disposition was
// not "ignore" when it was made) and blocks them except inside the waits, so that a stop can
// never come between a check and the wait that it should end; SIGPIPE is ignored, so that a
// closed reader shows as a failed write. Restores the dispositions and the mask when it goes.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The mask to wait under: the caught stop signals let through.
  const sigset_t* waitMask() const { return &waitMask_; }
  // True when a caught stop signal has arrived or waits to be delivered.
  bool stopPending() const;

 private:
  static constexpr int kCount = 3;
  struct sigaction oldActions_[kCount];
  bool caught_[kCount] = {};
  struct sigaction oldPipeAction_;
  sigset_t oldMask_;
  sigset_t waitMask_;
};

// Waits on `fds` until one is ready, `deadline` (a monotonic time, < 0: none) has come or a
// caught stop signal arrives. Returns ppoll's result: -1 with errno on failure, 0 at the deadline
// or after a signal.
int pollUntil(std::vector<struct pollfd>& fds, long long deadline, const StopSignals& signals);

}  // namespace ttyenum
