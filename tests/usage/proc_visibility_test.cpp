#include "usage/proc_visibility.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

struct MountsRow {
  const char* text;
  bool hides;
};

TEST(ProcVisibility, OnlyTheOptionsThatHideProcessesCount) {
  const MountsRow rows[] = {
      {"proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n", false},
      {"proc /proc proc rw,relatime,hidepid=invisible 0 0\n", true},
      {"proc /proc proc rw,relatime,hidepid=4,gid=10 0 0\n", true},
      {"proc /proc proc rw,relatime,hidepid=noaccess 0 0\n", false},
      // The last mount on /proc covers the others; other mounts do not count.
      {"proc /proc proc rw,hidepid=2 0 0\nproc /proc proc rw 0 0\n", false},
      {"proc /mnt/proc proc rw,hidepid=2 0 0\n", false},
  };
  for (const MountsRow& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(mountsHideProcesses(row.text), row.hides);
  }
}

}  // namespace
}  // namespace ttyenum
