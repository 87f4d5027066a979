#include "app/change_waiter.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>
#include <utility>

#include "app/exit_status.h"

namespace ttyenum {

namespace {

constexpr long long kMillisecond = 1000LL * 1000;
constexpr long long kQuiet = 50 * kMillisecond;
constexpr long long kSettleLimit = 500 * kMillisecond;
constexpr long long kUdevLimit = 2000 * kMillisecond;
constexpr size_t kWritePiece = 4096;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
  stopRequested = 1;
}

// The earlier of two monotonic times, < 0 standing for "none".
long long earlier(long long a, long long b) {
  if (a < 0)
    return b;
  return b < 0 ? a : std::min(a, b);
}

// Waits on `fds` until one is ready, `deadline` (< 0: none) has come or a stop signal arrives.
// Returns ppoll's result: -1 with errno on failure, 0 at the deadline or after a signal.
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

int writeFailure(int reason, std::ostream& errors) {
  errors << "ttyenum: write error: " << ::strerror(reason) << '\n';
  errors.flush();
  return kExitWriteError;
}

bool readerCanClose(int fd) {
  struct stat status {};
  return fd >= 0 && ::fstat(fd, &status) == 0 &&
         (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
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

ChangeWaiter::ChangeWaiter(ChangeSource& source, const StopSignals& signals, int outFd)
    : source_(source), signals_(signals), readerFd_(readerCanClose(outFd) ? outFd : -1) {}

WaitOutcome ChangeWaiter::waitForScan(long long due, long long limit, std::string& reason) {
  for (;;) {
    long long settled = -1;
    if (firstChange_ >= 0)
      settled = std::min(lastChange_ + kQuiet, firstChange_ + kSettleLimit);
    const long long scanAt = earlier(settled, due);
    const long long now = monotonicNanoseconds();
    if (scanAt >= 0 && now >= scanAt) {
      firstChange_ = -1;
      return WaitOutcome::kScan;
    }
    if (limit >= 0 && now >= limit)
      return WaitOutcome::kTimeout;

    std::vector<struct pollfd> fds = source_.pollSet();
    if (readerFd_ >= 0)
      fds.push_back(pollfd{readerFd_, 0, 0});  // POLLERR and POLLHUP come unasked
    if (pollUntil(fds, earlier(scanAt, limit), signals_) < 0) {
      reason = ::strerror(errno);
      return WaitOutcome::kFailed;
    }
    if (signals_.stopPending())
      return WaitOutcome::kStopped;
    for (const struct pollfd& entry : fds) {
      if ((entry.revents & POLLNVAL) != 0) {
        reason = ::strerror(EBADF);
        return WaitOutcome::kFailed;
      }
    }
    if (readerFd_ >= 0 && (fds.back().revents & (POLLERR | POLLHUP)) != 0) {
      reason = ::strerror(EPIPE);
      return WaitOutcome::kReaderGone;
    }
    if (readerFd_ >= 0)
      fds.pop_back();
    const DeviceChange change = source_.collect(fds, reason);
    if (change == DeviceChange::kFailed)
      return WaitOutcome::kFailed;
    if (change != DeviceChange::kNone) {
      lastChange_ = monotonicNanoseconds();
      if (firstChange_ < 0)
        firstChange_ = lastChange_;
    }
  }
}

int writeUnlessStopped(int fd, const std::string& bytes, const StopSignals& signals,
                       std::ostream& errors, bool& stopped) {
  stopped = false;
  for (size_t at = 0; at < bytes.size();) {
    std::vector<struct pollfd> out = {{fd, POLLOUT, 0}};
    if (pollUntil(out, -1, signals) < 0)
      return writeFailure(errno, errors);
    if (signals.stopPending()) {
      stopped = true;
      return kExitSuccess;
    }
    if (out[0].revents == 0)
      continue;
    const size_t piece = std::min(kWritePiece, bytes.size() - at);
    const ssize_t written = ::write(fd, bytes.data() + at, piece);
    if (written < 0 && (errno == EINTR || errno == EAGAIN))
      continue;
    if (written <= 0)
      return writeFailure(written < 0 ? errno : EIO, errors);
    at += static_cast<size_t>(written);
  }
  return kExitSuccess;
}

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
    due = earlier(due, entry.since + kUdevLimit);
  return due;
}

}  // namespace ttyenum
