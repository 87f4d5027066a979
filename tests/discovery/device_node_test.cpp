#include "discovery/device_node.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

TEST(ResolveLinkTarget, ResolvesAsTextFromTheLinksFolder) {
  const struct {
    const char* folder;
    const char* target;
    const char* node;
  } rows[] = {
      {"/dev/serial/by-id", "../../ttyUSB0", "/dev/ttyUSB0"},
      {"/dev/serial/by-path", "./../..//ttyACM0", "/dev/ttyACM0"},
      {"/dev/serial/by-id", "/dev/ttyUSB1", "/dev/ttyUSB1"},
      {"/dev/serial/by-id", "/dev/../dev/./ttyUSB1/", "/dev/ttyUSB1"},
      {"/dev/serial/by-id", "../../../../../ttyS0", "/ttyS0"},
      {"/dev/serial/by-id", "ttyUSB0", "/dev/serial/by-id/ttyUSB0"},
      {"/dev/serial/by-id", "../../../", "/"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.folder) + " " + row.target);
    EXPECT_EQ(resolveLinkTarget(row.folder, row.target), row.node);
  }
}

}  // namespace
}  // namespace ttyenum
