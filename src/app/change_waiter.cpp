#include "app/change_waiter.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>
#include <utility>

#include "app/exit_status.h"
#include "app/output_delivery.h"

namespace ttyenum {

namespace {

constexpr long long kMillisecond = 1000LL * 1000;
constexpr long long kQuiet = 50 * kMillisecond;
constexpr long long kSettleLimit = 500 * kMillisecond;
constexpr size_t kWritePiece = 4096;

bool readerCanClose(int fd) {
  struct stat status {};
  return fd >= 0 && ::fstat(fd, &status) == 0 &&
         (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

}  // namespace

ChangeWaiter::ChangeWaiter(ChangeSource& source, const StopSignals& signals, int outFd)
    : source_(source), signals_(signals), readerFd_(readerCanClose(outFd) ? outFd : -1) {}

WaitOutcome ChangeWaiter::waitForScan(long long due, long long limit, std::string& reason) {
  for (;;) {
    long long settled = -1;
    if (firstChange_ >= 0)
      settled = std::min(lastChange_ + kQuiet, firstChange_ + kSettleLimit);
    const long long scanAt = earlierTime(settled, due);
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
    if (pollUntil(fds, earlierTime(scanAt, limit), signals_) < 0) {
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
      return writeError(errno, errors);
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
      return writeError(written < 0 ? errno : EIO, errors);
    at += static_cast<size_t>(written);
  }
  return kExitSuccess;
}

}  // namespace ttyenum
