#include "usage/console_list.h"

#include <gtest/gtest.h>

#include "support/fake_root.h"
#include "usage/proc_visibility.h"

namespace ttyenum {
namespace {

TEST(ConsoleList, NamesTheActiveConsolesOfSysfs) {
  testing::FakeRoot fake;
  EXPECT_EQ(readConsoleNames(fake.root()), std::vector<std::string>{});
  fake.file("/sys/class/tty/console/active", "tty0 ttyS0\n");
  const std::vector<std::string> consoles = readConsoleNames(fake.root());
  EXPECT_EQ(consoles, (std::vector<std::string>{"tty0", "ttyS0"}));
  EXPECT_TRUE(isConsole("/dev/ttyS0", consoles));
  EXPECT_FALSE(isConsole("/dev/ttyS01", consoles));
  EXPECT_FALSE(isConsole("/dev/ttyS1", consoles));
}

struct MountsRow {
  const char* text;
  bool hides;
};

TEST(ProcVisibility, OnlyTheOptionsThatHideProcessesCount) {
  const MountsRow rows[] = {
      {"proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n", false},
      {"proc /proc proc rw,relatime,hidepid=invisible 0 0\n", true},
      {"proc /proc proc rw,relatime,hidepid=2 0 0\n", true},
      {"proc /proc proc rw,relatime,hidepid=ptraceable 0 0\n", true},
      {"proc /proc proc rw,relatime,hidepid=4,gid=10 0 0\n", true},
      {"proc /proc proc rw,relatime,hidepid=noaccess 0 0\n", false},
      {"proc /proc proc rw,relatime,hidepid=1 0 0\n", false},
      // The last mount on /proc covers the others; other mounts do not count.
      {"proc /proc proc rw,hidepid=2 0 0\nproc /proc proc rw 0 0\n", false},
      {"proc /proc proc rw 0 0\nproc /proc proc rw,hidepid=2 0 0", true},
      {"proc /mnt/proc proc rw,hidepid=2 0 0\n", false},
      {"tmpfs /proc tmpfs rw,hidepid=2 0 0\n", false},
  };
  for (const MountsRow& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(mountsHideProcesses(row.text), row.hides);
  }
}

}  // namespace
}  // namespace ttyenum
