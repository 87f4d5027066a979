#pragma once

#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "app/port_events.h"
#include "discovery/device_change_monitor.h"

namespace ttyenum {

// The monotonic clock in nanoseconds.
long long monotonicNanoseconds();

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

enum class WaitOutcome {
  kScan,        // the changes have settled, or the due time has come: scan now
  kTimeout,     // the limit has passed
  kStopped,     // a stop signal came
  kReaderGone,  // the reader of the output closed its end
  kFailed,      // the change source cannot be watched; the reason comes with it
};

// Waits for the change source and decides when to scan: once no change has come for 50 ms, but
// never later than 500 ms after the first change since the last scan.
class ChangeWaiter {
 public:
  // `outFd`, when it is a pipe or a socket, is watched for its reader closing.
  ChangeWaiter(ChangeSource& source, const StopSignals& signals, int outFd);

  // Waits until a scan is due. `due` and `limit` are monotonic times (< 0 for none): at `due`
  // a scan is due even without a change, at `limit` the wait ends with kTimeout.
  WaitOutcome waitForScan(long long due, long long limit, std::string& reason);

 private:
  ChangeSource& source_;
  const StopSignals& signals_;
  int readerFd_ = -1;  // the output, when its reader can be seen closing
  long long firstChange_ = -1;
  long long lastChange_ = -1;
};

// Writes `bytes` to `fd` in pieces of at most 4096 bytes, each once `fd` can take it, waiting
// under the stop mask. Returns kExitSuccess when all is written or a stop came first; on a failed
// write, the reason written to `errors`, kExitWriteError. `stopped` tells which.
int writeUnlessStopped(int fd, const std::string& bytes, const StopSignals& signals,
                       std::ostream& errors, bool& stopped);

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
