#include "usage/lock_files.h"

#include <gtest/gtest.h>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

// Each folder once (/var/lock links to /run/lock), names in byte order; a pid in ASCII or as a
// 4-byte int counts, links, broken numbers and other names do not; 64 bytes are read at most.
TEST(LockFiles, ReadsEachFolderOnceInBothForms) {
  testing::FakeRoot fake;
  const int binary77 = 77, binaryNegative = -3;
  fake.file("/run/lock/LCK..ttyUSB0", "      4242\n");
  fake.file("/run/lock/LCK..ttyS0", std::string(reinterpret_cast<const char*>(&binary77), 4));
  fake.file("/run/lock/LCK..ttyS1", std::string(reinterpret_cast<const char*>(&binaryNegative), 4));
  fake.file("/run/lock/LCK..ttyS2", "12 34\n");
  fake.file("/run/lock/LCK..ttyS3", "4242x\n");
  fake.file("/run/lock/LCK..ttyS4", "99999999999\n");
  fake.file("/run/lock/LCK..ttyS9", "57" + std::string(100, ' '));
  fake.file("/run/lock/other.lock", "55\n");
  fake.file("/run/lock/LCK..", "56\n");
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
