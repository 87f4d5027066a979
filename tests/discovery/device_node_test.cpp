#include "discovery/device_node.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>

#include "support/fake_root.h"

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

TEST(CharacterDeviceAt, FollowsLinksToACharacterDeviceAndKeepsNothingElse) {
  testing::FakeRoot fake;
  fake.folder("/dev/serial/by-id");
  if (::mknod(fake.path("/dev/ttyUSB1").c_str(), S_IFCHR | 0600, makedev(188, 1)) != 0) {
    const char* ci = std::getenv("CI");
    ASSERT_TRUE(ci == nullptr || *ci == '\0') << "mknod must work under CI";
    GTEST_SKIP() << "mknod is not permitted here";
  }
  fake.link("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB1");
  fake.link("/home/me/board",
            "../../dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  fake.node("ttyUSB0");
  fake.link("/dev/to-a-file", "ttyUSB0");
  fake.link("/dev/dangling", "ttyUSB9");
  const struct {
    const char* path;
    const char* device;
  } rows[] = {
      {"/dev/ttyUSB1", "188:1"},
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "188:1"},
      {"/home/me/board", "188:1"},
      {"/dev/ttyUSB0", "none"},
      {"/dev/to-a-file", "none"},
      {"/dev/serial/by-id", "none"},
      {"/dev/dangling", "none"},
      {"/dev/ttyUSB9", "none"},
      {"", "none"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    const std::optional<DeviceNumber> device = characterDeviceAt(row.path, fake.root());
    EXPECT_EQ(device ? device->text() : "none", row.device);
  }
}

}  // namespace
}  // namespace ttyenum
