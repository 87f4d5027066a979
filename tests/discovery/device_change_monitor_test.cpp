#include "discovery/device_change_monitor.h"

#include <fcntl.h>
#include <stdio.h>
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
      {"a node not watched",
       [](FakeRoot& fake, DeviceChangeMonitor&) { fake.node("ttyUSB0"); },
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
      {"/dev removed for good",
       [](FakeRoot&, DeviceChangeMonitor&) {},
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

// After /dev is made anew, names made in the new folder are seen.
TEST(DeviceChangeMonitor, ANewDevIsWatchedInstead) {
  FakeRoot fake;
  fake.folder("/dev");
  DeviceChangeMonitor monitor(fake.root(), false);
  std::string reason;
  ASSERT_TRUE(monitor.start(reason)) << reason;
  ASSERT_EQ(::rename(fake.path("/dev").c_str(), fake.path("/old-dev").c_str()), 0);
  fake.folder("/dev");
  ASSERT_EQ(::rmdir(fake.path("/old-dev").c_str()), 0);
  EXPECT_EQ(monitor.collect(), DeviceChange::kOverflow);
  fake.node("ttyUSB0");
  EXPECT_EQ(monitor.collect(), DeviceChange::kChanged);
}

}  // namespace
}  // namespace ttyenum
