#pragma once

#include <cstddef>

namespace ttyenum {

// What shows that a process holds a port, strongest first: an open descriptor, the port as the
// process's controlling terminal, a lock on the node, a lock file naming the process.
enum class HolderVia { kDescriptor, kControllingTerminal, kLock, kLockFile };

// "descriptor", "controlling-terminal", "lock" or "lock-file".
inline const char* holderViaName(HolderVia via) {
  switch (via) {
    case HolderVia::kDescriptor:
      return "descriptor";
    case HolderVia::kControllingTerminal:
      return "controlling-terminal";
    case HolderVia::kLock:
      return "lock";
    case HolderVia::kLockFile:
      return "lock-file";
  }
  return "";
}

// One process's claim on a port, and the holder a port shows.
struct HolderClaim {
  HolderVia via = HolderVia::kDescriptor;
  int pid = -1;  // -1 when unknown, as for a lock on an open file description

  bool operator==(const HolderClaim& other) const { return via == other.via && pid == other.pid; }
};

// How much of the machine one holder scan could see: complete when every process's descriptors
// were read and /proc hides none.
struct HolderCoverage {
  bool complete = true;
  size_t unreadableProcesses = 0;  // processes seen whose descriptors could not be read
};

}  // namespace ttyenum
