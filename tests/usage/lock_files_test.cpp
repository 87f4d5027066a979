#include "usage/lock_files.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

std::string binaryPid(int pid) {
  std::string bytes(sizeof pid, '\0');
  std::memcpy(bytes.data(), &pid, sizeof pid);
  return bytes;
}

struct PidRow {
  std::string bytes;
  int pid;  // -1: none
};

TEST(LockFiles, ReadsTheAsciiAndTheBinaryForm) {
  const PidRow rows[] = {
      {"      4242\n", 4242},
      {"  17", 17},
      {binaryPid(4242), 4242},
      {binaryPid(-3), -1},
      {"12 34\n", -1},
      {"4242x\n", -1},
      {"", -1},
      {"99999999999\n", -1},
  };
  for (const PidRow& row : rows) {
    SCOPED_TRACE("bytes: " + row.bytes);
    const std::optional<int> pid = parseLockFilePid(row.bytes);
    EXPECT_EQ(pid.value_or(-1), row.pid);
  }
}

// /var/lock as a link to /run/lock is one folder; links and longer files are handled as such.
TEST(LockFiles, ListsEachFolderOnceAndIgnoresLinks) {
  testing::FakeRoot fake;
  fake.file("/run/lock/LCK..ttyUSB0", "      4242\n");
  fake.file("/run/lock/LCK..ttyS0", binaryPid(77));
  fake.file("/run/lock/other.lock", "55\n");
  fake.file("/run/lock/LCK..", "56\n");
  fake.file("/run/lock/LCK..ttyS9", "57" + std::string(100, ' '));
  fake.link("/run/lock/LCK..ttyACM0", "LCK..ttyUSB0");
  fake.link("/var/lock", "../run/lock");
  fake.file("/var/spool/uucp/LCK..ttyUSB0", "31\n");
  EXPECT_EQ(
      readLockFiles(fake.root()),
      (std::vector<LockFile>{{"ttyS0", 77}, {"ttyS9", 57}, {"ttyUSB0", 4242}, {"ttyUSB0", 31}}));
  EXPECT_EQ(readLockFiles(testing::FakeRoot().root()), std::vector<LockFile>{});
}

}  // namespace
}  // namespace ttyenum
