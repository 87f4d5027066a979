#include "discovery/device_change_monitor.h"

#include <stdio.h>
#include <unistd.h>

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

}  // namespace
}  // namespace ttyenum
