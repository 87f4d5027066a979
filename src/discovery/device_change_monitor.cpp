#include "discovery/device_change_monitor.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "discovery/udev_database.h"

namespace ttyenum {

namespace {

// The kernel's own uevent group; udev re-sends processed events on group 2, which is not used.
constexpr unsigned kKernelUeventGroup = 1;
// Room for a burst such as a hub with many adapters; an overflow still ends in a full rescan.
constexpr int kUeventBufferBytes = 1 << 20;
constexpr uint32_t kDevNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
// udev writes its database entries under a temporary name and renames them into place.
constexpr uint32_t kUdevEntryEvents = IN_CREATE | IN_MOVED_TO;
constexpr uint32_t kNodeEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;

DeviceChange stronger(DeviceChange a, DeviceChange b) {
  return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

int openUeventSocket() {
  const int fd =
      ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  if (fd < 0)
    return -1;
  // The forced size needs CAP_NET_ADMIN; without it the ordinary limit applies.
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kUeventBufferBytes,
                   sizeof kUeventBufferBytes) != 0) {
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kUeventBufferBytes, sizeof kUeventBufferBytes);
  }
  struct sockaddr_nl address {};
  address.nl_family = AF_NETLINK;
  address.nl_groups = kKernelUeventGroup;
  if (::bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads every pending uevent message.
DeviceChange readUevents(int fd) {
  DeviceChange change = DeviceChange::kNone;
  if (fd < 0)
    return change;
  char buffer[8192];
  for (;;) {
    struct sockaddr_nl sender {};
    struct iovec part = {buffer, sizeof buffer};
    struct msghdr header {};
    header.msg_name = &sender;
    header.msg_namelen = sizeof sender;
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    const ssize_t got = ::recvmsg(fd, &header, MSG_DONTWAIT);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      // The kernel dropped messages for want of room: they may have been about ports.
      if (errno == ENOBUFS) {
        change = DeviceChange::kOverflow;
        continue;
      }
      return change;  // EAGAIN: nothing more; any other error leaves /dev to do the work
    }
    // Only the kernel (port id 0) speaks for devices; a process may send on the group too.
    if (sender.nl_pid != 0)
      continue;
    // A message cut short may have lost its subsystem; it counts.
    if ((header.msg_flags & MSG_TRUNC) != 0 || isTtyUevent(buffer, static_cast<size_t>(got)))
      change = stronger(change, DeviceChange::kChanged);
  }
}

}  // namespace

bool isTtyUevent(const char* message, size_t length) {
  static const char kEntry[] = "SUBSYSTEM=tty";
  size_t begin = 0;
  while (begin < length) {
    const void* nul = std::memchr(message + begin, '\0', length - begin);
    const size_t end = nul ? static_cast<size_t>(static_cast<const char*>(nul) - message) : length;
    if (end - begin == sizeof kEntry - 1 && std::memcmp(message + begin, kEntry, end - begin) == 0)
      return true;
    begin = end + 1;
  }
  return false;
}

DeviceChangeMonitor::DeviceChangeMonitor(FileSystemRoot root, bool kernelEvents)
    : root_(std::move(root)), kernelEvents_(kernelEvents) {
  dev_.logicalPath = "/dev";
  dev_.events = kDevNameEvents;
  udevData_.logicalPath = "/run/udev/data";
  udevData_.events = kUdevEntryEvents;
}

DeviceChangeMonitor::~DeviceChangeMonitor() {
  for (const int fd : {ueventFd_, inotifyFd_, mountsFd_}) {
    if (fd >= 0)
      ::close(fd);
  }
}

bool DeviceChangeMonitor::start(std::string& reason) {
  if (kernelEvents_)
    ueventFd_ = openUeventSocket();
  inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd_ < 0) {
    reason = ::strerror(errno);
  } else if (!addFolderWatch(dev_, reason)) {
    ::close(inotifyFd_);
    inotifyFd_ = -1;
  } else if (udevRuns(root_)) {
    std::string ignored;  // a database folder not made yet: the time limit covers it
    addFolderWatch(udevData_, ignored);
  }
  if (inotifyFd_ >= 0)
    mountsFd_ = ::open(root_.path("/proc/self/mountinfo").c_str(), O_RDONLY | O_CLOEXEC);
  return ueventFd_ >= 0 || inotifyFd_ >= 0;
}

bool DeviceChangeMonitor::addFolderWatch(FolderWatch& folder, std::string& reason) {
  const std::string path = root_.path(folder.logicalPath);
  struct stat status {};
  const int wd = ::stat(path.c_str(), &status) == 0
                     ? ::inotify_add_watch(inotifyFd_, path.c_str(), folder.events | IN_ONLYDIR)
                     : -1;
  if (wd < 0) {
    reason = ::strerror(errno);
    return false;
  }
  if (folder.wd >= 0 && folder.wd != wd)
    ::inotify_rm_watch(inotifyFd_, folder.wd);
  folder.wd = wd;
  folder.device = status.st_dev;
  folder.inode = status.st_ino;
  return true;
}

std::vector<int> DeviceChangeMonitor::descriptors() const {
  std::vector<int> fds;
  for (const struct pollfd& entry : pollSet()) {
    if (entry.fd != mountsFd_)
      fds.push_back(entry.fd);
  }
  return fds;
}

std::vector<struct pollfd> DeviceChangeMonitor::pollSet() const {
  std::vector<struct pollfd> set;
  if (ueventFd_ >= 0)
    set.push_back(pollfd{ueventFd_, POLLIN, 0});
  if (inotifyFd_ >= 0)
    set.push_back(pollfd{inotifyFd_, POLLIN, 0});
  // The mount table signals a change with POLLPRI (and POLLERR), never with POLLIN.
  if (mountsFd_ >= 0)
    set.push_back(pollfd{mountsFd_, POLLPRI, 0});
  return set;
}

DeviceChange DeviceChangeMonitor::collect(const std::vector<struct pollfd>& polled,
                                          std::string& reason) {
  DeviceChange change = DeviceChange::kNone;
  for (const struct pollfd& entry : polled) {
    if (entry.fd == inotifyFd_ && (entry.revents & POLLERR) != 0) {
      reason = ::strerror(EIO);
      return DeviceChange::kFailed;
    }
    if (entry.fd == mountsFd_ && (entry.revents & (POLLPRI | POLLERR)) != 0)
      change = stronger(change, checkFolders(reason));
  }
  if (change == DeviceChange::kFailed)
    return change;
  change = stronger(change, readUevents(ueventFd_));
  return stronger(change, readInotify(reason));
}

DeviceChange DeviceChangeMonitor::collect() {
  std::string reason;
  return collect(pollSet(), reason);
}

// After a change of the mount table: a folder that is another directory now is watched anew.
DeviceChange DeviceChangeMonitor::checkFolders(std::string& reason) {
  DeviceChange change = DeviceChange::kNone;
  for (FolderWatch* folder : {&dev_, &udevData_}) {
    if (folder->wd < 0)
      continue;
    struct stat status {};
    if (::stat(root_.path(folder->logicalPath).c_str(), &status) == 0 &&
        status.st_dev == folder->device && status.st_ino == folder->inode) {
      continue;
    }
    std::string why;
    if (addFolderWatch(*folder, why)) {
      change = stronger(change, DeviceChange::kOverflow);
    } else if (folder == &dev_) {
      reason = why;
      return DeviceChange::kFailed;
    }
  }
  return change;
}

// Reads every pending inotify event: names in /dev and in udev's database, the watched nodes'
// opens and closes, and the end of a folder's watch (unmounted or removed), which is renewed.
DeviceChange DeviceChangeMonitor::readInotify(std::string& reason) {
  DeviceChange change = DeviceChange::kNone;
  if (inotifyFd_ < 0)
    return change;
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(inotifyFd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
      if ((event->mask & IN_Q_OVERFLOW) != 0) {
        change = stronger(change, DeviceChange::kOverflow);
      } else if (event->wd == dev_.wd && (event->mask & (IN_IGNORED | IN_UNMOUNT)) != 0) {
        dev_.wd = -1;
        change = DeviceChange::kOverflow;
      } else if (event->wd == udevData_.wd && (event->mask & (IN_IGNORED | IN_UNMOUNT)) != 0) {
        udevData_.wd = -1;
        change = stronger(change, DeviceChange::kOverflow);
      } else if ((event->mask & IN_IGNORED) != 0) {
        nodeWatches_.erase(event->wd);
      } else if ((event->mask & (kDevNameEvents | kNodeEvents)) != 0) {
        change = stronger(change, DeviceChange::kChanged);
      }
    }
  }
  if (dev_.wd < 0 && !addFolderWatch(dev_, reason))
    return DeviceChange::kFailed;
  if (udevData_.wd < 0 && change == DeviceChange::kOverflow && udevRuns(root_)) {
    std::string ignored;
    addFolderWatch(udevData_, ignored);
  }
  return change;
}

void DeviceChangeMonitor::watchNodes(const std::vector<std::string>& nodePaths) {
  if (inotifyFd_ < 0)
    return;
  std::map<int, std::string> watched;
  for (const std::string& node : nodePaths) {
    // The same node gives back its watch; a node made anew under the name gets one of its own.
    const int wd = ::inotify_add_watch(inotifyFd_, root_.path(node).c_str(), kNodeEvents);
    if (wd >= 0)
      watched[wd] = node;
  }
  for (const auto& [wd, node] : nodeWatches_) {
    if (watched.count(wd) == 0)
      ::inotify_rm_watch(inotifyFd_, wd);
  }
  nodeWatches_ = std::move(watched);
}

}  // namespace ttyenum
