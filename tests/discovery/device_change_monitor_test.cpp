#include "discovery/device_change_monitor.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;

// A uevent message as the kernel sends it: entries parted by NULs.
std::string uevent(std::initializer_list<const char*> entries, bool finalNul = true) {
  std::string message;
  for (const char* entry : entries)
    message += std::string(entry) + '\0';
  if (!finalNul)
    message.pop_back();
  return message;
}

TEST(IsTtyUevent, OnlyTheTtySubsystemEntryCounts) {
  const struct {
    const char* name;
    std::string message;
    bool tty;
  } rows[] = {
      {"tty add",
       uevent({"add@/devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0", "ACTION=add",
               "SUBSYSTEM=tty", "MAJOR=188"}),
       true},
      {"last entry without its NUL", uevent({"remove@/x", "SUBSYSTEM=tty"}, false), true},
      {"usb-serial", uevent({"add@/x", "SUBSYSTEM=usb-serial"}), false},
      {"longer name", uevent({"add@/x", "SUBSYSTEM=ttyX"}), false},
      {"cut short", uevent({"add@/x", "SUBSYSTEM=tt"}, false), false},
      {"in the header only", uevent({"add@/SUBSYSTEM=tty", "SUBSYSTEM=usb"}), false},
      {"empty", std::string(), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(isTtyUevent(row.message.data(), row.message.size()), row.tty);
  }
}

TEST(DeviceChangeMonitor, NamesMadeMovedAndRemovedInDevAreChanges) {
  FakeRoot fake;
  fake.folder("/dev");
  DeviceChangeMonitor monitor(fake.root());
  std::string reason;
  ASSERT_TRUE(monitor.start(reason)) << reason;

  fake.node("ttyUSB0");
  EXPECT_EQ(monitor.collect(), DeviceChange::kChanged);
  ASSERT_EQ(::rename(fake.path("/dev/ttyUSB0").c_str(), fake.path("/dev/ttyUSB1").c_str()), 0);
  EXPECT_EQ(monitor.collect(), DeviceChange::kChanged);
  ASSERT_EQ(::unlink(fake.path("/dev/ttyUSB1").c_str()), 0);
  EXPECT_EQ(monitor.collect(), DeviceChange::kChanged);
}

TEST(DeviceChangeMonitor, WithoutADevFolderNothingCanBeWatched) {
  FakeRoot fake;
  DeviceChangeMonitor monitor(fake.root());
  std::string reason;
  // As root the uevent socket still opens, and then the watch goes on with it alone.
  const bool started = monitor.start(reason);
  EXPECT_EQ(started, monitor.descriptors().size() == 1u);
  EXPECT_EQ(reason, "No such file or directory");
}

// Each row starts a monitor on a fresh tree made by `before`, then does `action`: what the
// monitor reports for it.
TEST(DeviceChangeMonitor, WhatEachSourceReports) {
  const auto open_ = [](FakeRoot& fake, const std::string& path) {
    const int fd = ::open(fake.path(path).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    ::close(fd);
  };
  const auto udev = [](FakeRoot& fake) {
    fake.file("/run/udev/control", "");
    fake.folder("/run/udev/data");
  };
  const auto udevEntry = [](FakeRoot& fake, const std::string& name) {
    fake.file("/run/udev/data/.tmp", "E:ID_PATH=x\n");
    ASSERT_EQ(::rename(fake.path("/run/udev/data/.tmp").c_str(),
                       fake.path("/run/udev/data/" + name).c_str()),
              0);
  };
  using Step = std::function<void(FakeRoot&, DeviceChangeMonitor&)>;
  const struct {
    const char* name;
    Step before;
    Step action;
    DeviceChange change;
  } rows[] = {
      {"a watched node opened and closed",
       [](FakeRoot& fake, DeviceChangeMonitor&) { fake.node("ttyUSB0"); },
       [&](FakeRoot& fake, DeviceChangeMonitor& monitor) {
         monitor.watchNodes({"/dev/ttyUSB0", "/dev/gone"});
         open_(fake, "/dev/ttyUSB0");
       },
       DeviceChange::kChanged},
      {"a node not watched", [](FakeRoot& fake, DeviceChangeMonitor&) { fake.node("ttyUSB0"); },
       [&](FakeRoot& fake, DeviceChangeMonitor&) { open_(fake, "/dev/ttyUSB0"); },
       DeviceChange::kNone},
      {"a node no longer watched",
       [](FakeRoot& fake, DeviceChangeMonitor&) {
         fake.node("ttyUSB0");
         fake.node("ttyUSB1");
       },
       [&](FakeRoot& fake, DeviceChangeMonitor& monitor) {
         monitor.watchNodes({"/dev/ttyUSB0", "/dev/ttyUSB1"});
         monitor.watchNodes({"/dev/ttyUSB1"});
         open_(fake, "/dev/ttyUSB0");
       },
       DeviceChange::kNone},
      {"a udev entry renamed into place", [&](FakeRoot& fake, DeviceChangeMonitor&) { udev(fake); },
       [&](FakeRoot& fake, DeviceChangeMonitor&) { udevEntry(fake, "c188:0"); },
       DeviceChange::kChanged},
      {"a udev entry made in place", [&](FakeRoot& fake, DeviceChangeMonitor&) { udev(fake); },
       [](FakeRoot& fake, DeviceChangeMonitor&) { fake.file("/run/udev/data/c188:1", ""); },
       DeviceChange::kChanged},
      {"udev's folder without udev running",
       [](FakeRoot& fake, DeviceChangeMonitor&) { fake.folder("/run/udev/data"); },
       [](FakeRoot& fake, DeviceChangeMonitor&) { fake.file("/run/udev/data/c188:1", ""); },
       DeviceChange::kNone},
      {"/dev removed and made again",
       [](FakeRoot& fake, DeviceChangeMonitor&) { fake.node("ttyS0"); },
       [](FakeRoot& fake, DeviceChangeMonitor&) {
         ASSERT_EQ(::rename(fake.path("/dev").c_str(), fake.path("/old-dev").c_str()), 0);
         fake.folder("/dev");
         ASSERT_EQ(::unlink(fake.path("/old-dev/ttyS0").c_str()), 0);
         ASSERT_EQ(::rmdir(fake.path("/old-dev").c_str()), 0);
       },
       DeviceChange::kOverflow},
      {"/dev removed for good", [](FakeRoot&, DeviceChangeMonitor&) {},
       [](FakeRoot& fake, DeviceChangeMonitor&) {
         ASSERT_EQ(::rmdir(fake.path("/dev").c_str()), 0);
       },
       DeviceChange::kFailed},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeRoot fake;
    fake.folder("/dev");
    DeviceChangeMonitor monitor(fake.root(), false);
    row.before(fake, monitor);
    std::string reason;
    ASSERT_TRUE(monitor.start(reason)) << reason;
    monitor.collect();
    row.action(fake, monitor);
    EXPECT_EQ(monitor.collect(), row.change);
  }
}

// As root the monitor subscribes to the kernel's uevents; its socket comes first.
int ueventSocketOf(const DeviceChangeMonitor& monitor) {
  const std::vector<int> fds = monitor.descriptors();
  return fds.size() == 2 ? fds[0] : -1;
}

bool writeChange(const char* ueventFile) {
  const int fd = ::open(ueventFile, O_WRONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool written = ::write(fd, "change", 6) == 6;
  ::close(fd);
  return written;
}

// A process may send on the kernel's uevent group too (as root); only the kernel speaks for
// devices. A real tty event of another test may slip in, so one of three tries must be quiet.
TEST(DeviceChangeMonitor, AUeventFromAProcessIsNoChange) {
  FakeRoot fake;
  fake.folder("/dev");
  DeviceChangeMonitor monitor(fake.root());
  std::string reason;
  ASSERT_TRUE(monitor.start(reason)) << reason;
  if (ueventSocketOf(monitor) < 0)
    GTEST_SKIP() << "the kernel's uevents need root here";
  const int sender = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  ASSERT_GE(sender, 0);
  struct sockaddr_nl group {};
  group.nl_family = AF_NETLINK;
  group.nl_groups = 1;
  const std::string message = uevent({"add@/devices/virtual/tty/ttyFAKE", "ACTION=add",
                                      "DEVPATH=/devices/virtual/tty/ttyFAKE", "SUBSYSTEM=tty"});
  bool quiet = false;
  for (int attempt = 0; attempt < 3 && !quiet; ++attempt) {
    monitor.collect();
    ASSERT_EQ(::sendto(sender, message.data(), message.size(), 0,
                       reinterpret_cast<struct sockaddr*>(&group), sizeof group),
              static_cast<ssize_t>(message.size()))
        << ::strerror(errno);
    ::usleep(20 * 1000);
    quiet = monitor.collect() == DeviceChange::kNone;
  }
  ::close(sender);
  EXPECT_TRUE(quiet);
}

// The kernel drops uevents for want of room while the queue holds only other subsystems' events:
// what was dropped may have been a tty's, so the monitor asks for a rescan.
TEST(DeviceChangeMonitor, DroppedUeventsAskForARescan) {
  const char kOtherDevice[] = "/sys/devices/virtual/mem/full/uevent";
  FakeRoot fake;
  fake.folder("/dev");
  DeviceChangeMonitor monitor(fake.root());
  std::string reason;
  ASSERT_TRUE(monitor.start(reason)) << reason;
  const int socket = ueventSocketOf(monitor);
  if (socket < 0 || ::access(kOtherDevice, W_OK) != 0)
    GTEST_SKIP() << "needs root and a writable " << kOtherDevice;
  const int small = 4096;  // the kernel's floor is a few kB: a handful of events fills it
  ASSERT_EQ(::setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &small, sizeof small), 0);
  monitor.collect();
  for (int i = 0; i < 50; ++i)
    ASSERT_TRUE(writeChange(kOtherDevice));
  EXPECT_EQ(monitor.collect(), DeviceChange::kOverflow);
  EXPECT_EQ(monitor.collect(), DeviceChange::kNone);
}

}  // namespace
}  // namespace ttyenum
