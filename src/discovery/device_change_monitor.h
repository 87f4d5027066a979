#pragma once

#include <poll.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "common/file_system_root.h"

namespace ttyenum {

// What the sources said since the last look, weakest first.
enum class DeviceChange {
  kNone,      // nothing that concerns serial ports
  kChanged,   // a tty device came, went or changed, a name in /dev or in udev's database was
              // made, removed or moved, or a watched node was opened or closed
  kOverflow,  // events were dropped, or /dev is another folder now: anything may have changed
  kFailed,    // the sources can no longer be watched; the reason comes with it
};

// A source of "the ports may have changed". The watch waits on its descriptors and then asks it
// what the wait found; it knows nothing of ports.
class ChangeSource {
 public:
  virtual ~ChangeSource() = default;

  // The descriptors to wait on, each with the events it waits for.
  virtual std::vector<struct pollfd> pollSet() const = 0;

  // Reads every pending event without waiting and says what they amount to. `polled` is the
  // poll set as the wait returned it (revents filled in). On kFailed, `reason` says why.
  virtual DeviceChange collect(const std::vector<struct pollfd>& polled, std::string& reason) = 0;

  // Watches exactly these nodes for opens and closes from now on; nodes that may not be watched
  // are skipped.
  virtual void watchNodes(const std::vector<std::string>& nodePaths) = 0;
};

// The machine's change sources: the kernel's uevents of the tty subsystem (a
// NETLINK_KOBJECT_UEVENT socket on the kernel's multicast group, no udev needed), inotify on the
// root's /dev, on udev's database folder where udev runs, and on the nodes it is given, and the
// mount table, so that a /dev unmounted or mounted over is watched again.
class DeviceChangeMonitor : public ChangeSource {
 public:
  // With `kernelEvents` false the uevent socket is not opened: the machine's own tty events then
  // reach no one (tests on a shared machine).
  explicit DeviceChangeMonitor(FileSystemRoot root = FileSystemRoot(), bool kernelEvents = true);
  ~DeviceChangeMonitor() override;
  DeviceChangeMonitor(const DeviceChangeMonitor&) = delete;
  DeviceChangeMonitor& operator=(const DeviceChangeMonitor&) = delete;

  // Subscribes to the sources. Where the uevent socket cannot be opened (no permission in a
  // container, say) /dev alone is watched. Returns false, with the system's reason in `reason`,
  // only when neither can be had.
  bool start(std::string& reason);

  // The descriptors to wait on for reading; all are non-blocking.
  std::vector<int> descriptors() const;

  std::vector<struct pollfd> pollSet() const override;
  DeviceChange collect(const std::vector<struct pollfd>& polled, std::string& reason) override;
  void watchNodes(const std::vector<std::string>& nodePaths) override;

  // Reads every pending event of every source, as after a wait that found them all readable.
  DeviceChange collect();

 private:
  // A folder watched by name, and the directory it was when the watch was added.
  struct FolderWatch {
    std::string logicalPath;
    uint32_t events = 0;
    int wd = -1;
    dev_t device = 0;
    ino_t inode = 0;
  };

  bool addFolderWatch(FolderWatch& folder, std::string& reason);
  DeviceChange readInotify(std::string& reason);
  DeviceChange checkFolders(std::string& reason);

  FileSystemRoot root_;
  bool kernelEvents_ = true;
  int ueventFd_ = -1;
  int inotifyFd_ = -1;
  int mountsFd_ = -1;
  FolderWatch dev_;
  FolderWatch udevData_;  // wd stays -1 where udev does not run
  std::map<int, std::string> nodeWatches_;
};

// True when a uevent message (ACTION@DEVPATH, then NUL-separated KEY=VALUE entries) is of the
// tty subsystem.
bool isTtyUevent(const char* message, size_t length);

}  // namespace ttyenum
