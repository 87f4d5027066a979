#pragma once

#include <string>
#include <vector>

#include "common/port_events.h"
#include "common/stop_signals.h"
#include "discovery/device_change_monitor.h"

namespace ttyenum {

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

}  // namespace ttyenum
