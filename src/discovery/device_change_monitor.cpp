#include "discovery/device_change_monitor.h"

#include <errno.h>
#include <linux/netlink.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace ttyenum {

namespace {

// The kernel's own uevent group; udev re-sends processed events on group 2, which is not used.
constexpr unsigned kKernelUeventGroup = 1;
// Room for a burst such as a hub with many adapters; an overflow still ends in a full rescan.
constexpr int kUeventBufferBytes = 1 << 20;
constexpr uint32_t kDevNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

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

// Reads every pending inotify event of /dev.
DeviceChange readDevNames(int fd) {
  DeviceChange change = DeviceChange::kNone;
  if (fd < 0)
    return change;
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return change;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
      if ((event->mask & IN_Q_OVERFLOW) != 0)
        change = DeviceChange::kOverflow;
      else if ((event->mask & kDevNameEvents) != 0)
        change = stronger(change, DeviceChange::kChanged);
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
    }
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

DeviceChangeMonitor::DeviceChangeMonitor(FileSystemRoot root) : root_(std::move(root)) {}

DeviceChangeMonitor::~DeviceChangeMonitor() {
  if (ueventFd_ >= 0)
    ::close(ueventFd_);
  if (inotifyFd_ >= 0)
    ::close(inotifyFd_);
}

bool DeviceChangeMonitor::start(std::string& reason) {
  ueventFd_ = openUeventSocket();
  inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd_ >= 0 && ::inotify_add_watch(inotifyFd_, root_.path("/dev").c_str(),
                                             kDevNameEvents | IN_ONLYDIR) < 0) {
    reason = ::strerror(errno);
    ::close(inotifyFd_);
    inotifyFd_ = -1;
  } else if (inotifyFd_ < 0) {
    reason = ::strerror(errno);
  }
  return ueventFd_ >= 0 || inotifyFd_ >= 0;
}

std::vector<int> DeviceChangeMonitor::descriptors() const {
  std::vector<int> fds;
  if (ueventFd_ >= 0)
    fds.push_back(ueventFd_);
  if (inotifyFd_ >= 0)
    fds.push_back(inotifyFd_);
  return fds;
}

DeviceChange DeviceChangeMonitor::collect() const {
  return stronger(readUevents(ueventFd_), readDevNames(inotifyFd_));
}

}  // namespace ttyenum
