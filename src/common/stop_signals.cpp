#include "common/stop_signals.h"

#include <errno.h>
#include <time.h>

#include <algorithm>

namespace ttyenum {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
  stopRequested = 1;
}

}  // namespace

long long monotonicNanoseconds() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

StopSignals::StopSignals() {
  stopRequested = 0;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &oldPipeAction_);
  struct sigaction catchStop {};
  catchStop.sa_handler = requestStop;
  sigemptyset(&catchStop.sa_mask);
  sigset_t caught;
  sigemptyset(&caught);
  for (int i = 0; i < kCount; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &oldActions_[i]);
    // An ignored signal stays ignored, and unblocked: blocked, it would wait as pending.
    caught_[i] = oldActions_[i].sa_handler != SIG_IGN;
    if (caught_[i]) {
      sigaddset(&caught, kStopSignals[i]);
      ::sigaction(kStopSignals[i], &catchStop, nullptr);
    }
  }
  ::sigprocmask(SIG_BLOCK, &caught, &oldMask_);
  waitMask_ = oldMask_;
  for (int i = 0; i < kCount; ++i) {
    if (caught_[i])
      sigdelset(&waitMask_, kStopSignals[i]);
  }
}

StopSignals::~StopSignals() {
  // A stop still pending goes to the handler here, not to the restored disposition.
  ::sigprocmask(SIG_SETMASK, &oldMask_, nullptr);
  for (int i = 0; i < kCount; ++i) {
    if (caught_[i])
      ::sigaction(kStopSignals[i], &oldActions_[i], nullptr);
  }
  ::sigaction(SIGPIPE, &oldPipeAction_, nullptr);
}

bool StopSignals::stopPending() const {
  if (stopRequested)
    return true;
  sigset_t pending;
  if (::sigpending(&pending) != 0)
    return false;
  for (int i = 0; i < kCount; ++i) {
    if (caught_[i] && sigismember(&pending, kStopSignals[i]) == 1)
      return true;
  }
  return false;
}

long long earlierTime(long long a, long long b) {
  if (a < 0)
    return b;
  return b < 0 ? a : std::min(a, b);
}

int pollUntil(std::vector<struct pollfd>& fds, long long deadline, const StopSignals& signals) {
  if (signals.stopPending())
    return 0;
  struct timespec timeout {};
  if (deadline >= 0) {
    const long long left = std::max(0LL, deadline - monotonicNanoseconds());
    timeout = {static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
  }
  const int ready =
      ::ppoll(fds.data(), fds.size(), deadline >= 0 ? &timeout : nullptr, signals.waitMask());
  return ready < 0 && errno == EINTR ? 0 : ready;
}

}  // namespace ttyenum
