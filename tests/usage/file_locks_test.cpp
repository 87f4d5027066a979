#include "usage/file_locks.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

struct LockLineRow {
  const char* line;
  bool held;
  FileLock lock;
};

TEST(FileLocks, ParsesHeldLocksAndLeavesWaitersAndLeasesOut) {
  const LockLineRow rows[] = {
      {"1: FLOCK  ADVISORY  WRITE 11809 00:06:91 0 EOF", true, {11809, {0, 6}, 91}},
      {"2: POSIX  ADVISORY  READ 732 fd:01:1048602 128 128", true, {732, {0xfd, 1}, 1048602}},
      {"3: OFDLCK ADVISORY  WRITE -1 00:06:91 0 EOF", true, {-1, {0, 6}, 91}},
      // A major past 255 comes in more than two hex digits.
      {"4: FLOCK  ADVISORY  WRITE 5 103:0a:77 0 EOF", true, {5, {0x103, 10}, 77}},
      {"5: -> FLOCK  ADVISORY  WRITE 11810 00:06:91 0 EOF", false, {}},
      {"6: LEASE  ACTIVE    READ 900 00:06:91 0 EOF", false, {}},
      {"7: FLOCK  ADVISORY  WRITE 11809 00:06 0 EOF", false, {}},
      {"8: FLOCK  ADVISORY  WRITE x 00:06:91 0 EOF", false, {}},
      {"", false, {}},
  };
  for (const LockLineRow& row : rows) {
    SCOPED_TRACE(row.line);
    const std::optional<FileLock> lock = parseFileLock(row.line);
    ASSERT_EQ(lock.has_value(), row.held);
    if (row.held) {
      EXPECT_EQ(*lock, row.lock);
    }
  }
}

}  // namespace
}  // namespace ttyenum
