#pragma once

#include <string>
#include <vector>

#include "common/file_system_root.h"

namespace ttyenum {

// What the kernel and /dev said since the last look.
enum class DeviceChange {
  kNone,      // nothing that concerns serial ports
  kChanged,   // a tty device came, went or changed, or a name in /dev was made, removed or moved
  kOverflow,  // events were dropped: anything may have changed
};

// Tells when the ports may have changed, from two sources: the kernel's uevents of the tty
// subsystem (a NETLINK_KOBJECT_UEVENT socket on the kernel's multicast group, no udev needed)
// and inotify on the root's /dev. It knows nothing of ports; its caller rescans.
class DeviceChangeMonitor {
 public:
  explicit DeviceChangeMonitor(FileSystemRoot root = FileSystemRoot());
  ~DeviceChangeMonitor();
  DeviceChangeMonitor(const DeviceChangeMonitor&) = delete;
  DeviceChangeMonitor& operator=(const DeviceChangeMonitor&) = delete;

  // Subscribes to both sources. Where the uevent socket cannot be opened (no permission in a
  // container, say) /dev alone is watched. Returns false, with the system's reason in `reason`,
  // only when neither source can be had.
  bool start(std::string& reason);

  // The descriptors to wait on for reading; both are non-blocking.
  std::vector<int> descriptors() const;

  // Reads every pending event without waiting and says what they amount to. The events are
  // consumed; the object itself does not change.
  DeviceChange collect() const;

 private:
  FileSystemRoot root_;
  int ueventFd_ = -1;
  int inotifyFd_ = -1;
};

// True when a uevent message (ACTION@DEVPATH, then NUL-separated KEY=VALUE entries) is of the
// tty subsystem.
bool isTtyUevent(const char* message, size_t length);

}  // namespace ttyenum
