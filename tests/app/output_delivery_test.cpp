#include "app/output_delivery.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

namespace ttyenum {
namespace {

TEST(DeliverOutput, WritesEverythingOrReportsWhy) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::ostringstream errors;
  EXPECT_EQ(deliverOutput(fds[1], "Found serial ports: 0\n", errors), kExitSuccess);
  ::close(fds[1]);
  char buffer[64] = {};
  EXPECT_EQ(::read(fds[0], buffer, sizeof buffer), 22);
  ::close(fds[0]);
  EXPECT_EQ(errors.str(), "");

  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  EXPECT_EQ(deliverOutput(full, "0.1.0\n", errors), kExitWriteError);
  ::close(full);
  EXPECT_EQ(errors.str(), "ttyenum: write error: No space left on device\n");
}

}  // namespace
}  // namespace ttyenum
