#include "usage/file_locks.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

TEST(FileLocks, ParsesHeldLocksAndLeavesWaitersAndLeasesOut) {
  const std::pair<const char*, std::optional<FileLock>> rows[] = {
      {"1: FLOCK  ADVISORY  WRITE 11809 00:06:91 0 EOF", FileLock{11809, {0, 6}, 91}},
      {"2: POSIX  ADVISORY  READ 732 fd:01:1048602 128 128", FileLock{732, {0xfd, 1}, 1048602}},
      {"3: OFDLCK ADVISORY  WRITE -1 00:06:91 0 EOF", FileLock{-1, {0, 6}, 91}},
      {"4: FLOCK  ADVISORY  WRITE 5 103:0a:77 0 EOF", FileLock{5, {0x103, 10}, 77}},  // major > ff
      {"5: -> FLOCK  ADVISORY  WRITE 11810 00:06:91 0 EOF", std::nullopt},
      {"6: LEASE  ACTIVE    READ 900 00:06:91 0 EOF", std::nullopt},
      {"7: FLOCK  ADVISORY  WRITE 11809 00:06 0 EOF", std::nullopt},
      {"8: FLOCK  ADVISORY  WRITE x 00:06:91 0 EOF", std::nullopt},
  };
  for (const auto& [line, lock] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(parseFileLock(line), lock);
  }
}

}  // namespace
}  // namespace ttyenum
