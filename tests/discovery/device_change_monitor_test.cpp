#include "discovery/device_change_monitor.h"

#include <linux/netlink.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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

// Each row starts a monitor (without the kernel's uevents) on a /dev holding ttyUSB0 and ttyUSB1
// beside udev's data folder, with udev running or not. The monitor watches ttyUSB0 (and a node
// that is not there), then `watched` alone; then `action`: what the monitor reports for it.
TEST(DeviceChangeMonitor, WhatEachSourceReports) {
  namespace fs = std::filesystem;
  using Step = std::function<void(FakeRoot&)>;
  const Step open = [](FakeRoot& fake) { std::ifstream(fake.path("/dev/ttyUSB0")); };
  const Step makeEntry = [](FakeRoot& fake) { fake.file("/run/udev/data/c188:1", ""); };
  const Step renameEntry = [](FakeRoot& fake) {
    fake.file("/run/udev/data/.tmp", "E:ID_PATH=x\n");
    fs::rename(fake.path("/run/udev/data/.tmp"), fake.path("/run/udev/data/c188:0"));
  };
  const Step replaceDev = [](FakeRoot& fake) {
    fs::rename(fake.path("/dev"), fake.path("/old-dev"));
    fake.folder("/dev");
    fs::remove_all(fake.path("/old-dev"));
  };
  const Step removeDev = [](FakeRoot& fake) { fs::remove_all(fake.path("/dev")); };
  const struct {
    const char* name;
    bool udevRuns;
    const char* watched;
    Step action;
    DeviceChange change;
  } rows[] = {
      {"a watched node opened and closed", false, "/dev/ttyUSB0", open, DeviceChange::kChanged},
      {"a node no longer watched", false, "/dev/ttyUSB1", open, DeviceChange::kNone},
      {"a udev entry renamed into place", true, "", renameEntry, DeviceChange::kChanged},
      {"a udev entry made in place", true, "", makeEntry, DeviceChange::kChanged},
      {"udev's folder without udev running", false, "", makeEntry, DeviceChange::kNone},
      {"/dev removed and made again", false, "", replaceDev, DeviceChange::kOverflow},
      {"/dev removed for good", false, "", removeDev, DeviceChange::kFailed},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeRoot fake;
    fake.node("ttyUSB0");
    fake.node("ttyUSB1");
    fake.folder("/run/udev/data");
    if (row.udevRuns)
      fake.file("/run/udev/control", "");
    DeviceChangeMonitor monitor(fake.root(), false);
    std::string reason;
    ASSERT_TRUE(monitor.start(reason)) << reason;
    monitor.watchNodes({"/dev/ttyUSB0", "/dev/gone"});
    monitor.watchNodes({row.watched});
    monitor.collect();
    row.action(fake);
    EXPECT_EQ(monitor.collect(), row.change);
  }
}

// As root the monitor also reads the kernel's uevents, on the socket that comes first. A process
// may send on their group too, but only the kernel speaks for devices (a real tty event of
// another test may slip in: one of three tries must be quiet). When the kernel drops uevents for
// want of room while the queue holds only other subsystems' events, what was dropped may have
// been a tty's: the monitor asks for a rescan.
TEST(DeviceChangeMonitor, KernelUeventsAsRoot) {
  const char kOtherDevice[] = "/sys/devices/virtual/mem/full/uevent";
  FakeRoot fake;
  fake.folder("/dev");
  DeviceChangeMonitor monitor(fake.root());
  std::string reason;
  ASSERT_TRUE(monitor.start(reason)) << reason;
  if (monitor.descriptors().size() != 2 || ::access(kOtherDevice, W_OK) != 0)
    GTEST_SKIP() << "needs root and a writable " << kOtherDevice;
  const int sender = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  struct sockaddr_nl group = {AF_NETLINK, 0, 0, 1};  // the kernel's uevent group
  const std::string message = uevent({"add@/devices/virtual/tty/ttyFAKE", "SUBSYSTEM=tty"});
  bool quiet = false;
  for (int attempt = 0; attempt < 3 && !quiet; ++attempt) {
    monitor.collect();
    ASSERT_EQ(::sendto(sender, message.data(), message.size(), 0,
                       reinterpret_cast<struct sockaddr*>(&group), sizeof group),
              static_cast<ssize_t>(message.size()));
    ::usleep(20 * 1000);
    quiet = monitor.collect() == DeviceChange::kNone;
  }
  ::close(sender);
  EXPECT_TRUE(quiet) << "a process's uevent made a change";

  const int small = 4096;  // the kernel's floor is a few kB: a handful of events fills it
  ASSERT_EQ(
      ::setsockopt(monitor.descriptors()[0], SOL_SOCKET, SO_RCVBUFFORCE, &small, sizeof small), 0);
  for (int i = 0; i < 50; ++i)
    std::ofstream(kOtherDevice) << "change";
  EXPECT_EQ(monitor.collect(), DeviceChange::kOverflow);
  EXPECT_EQ(monitor.collect(), DeviceChange::kNone);
}

}  // namespace
}  // namespace ttyenum
