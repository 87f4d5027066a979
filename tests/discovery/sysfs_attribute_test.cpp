#include "discovery/sysfs_attribute.h"

#include <gtest/gtest.h>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;

TEST(ReadSysfsAttribute, ContentRulesInBothModes) {
  struct Row {
    const char* name;
    std::string content;
    bool keyValue;
    std::string expected;
  };
  const Row rows[] = {
      {"final newline dropped", "0403\n", false, "0403"},
      {"no final newline", "0403", false, "0403"},
      {"only one newline dropped", "a\n\n", false, "a\n"},
      {"carriage return kept", "abc\r\n", false, "abc\r"},
      {"cut at NUL", std::string("ab\0cd\n", 6), false, "ab"},
      {"whole file, not first line", "DEVTYPE=usb_interface\nDRIVER=ftdi_sio\n", false,
       "DEVTYPE=usb_interface\nDRIVER=ftdi_sio"},
      {"empty plain", "", false, ""},
      {"empty key=value", "", true, ""},
      {"value", "DRIVER=serial\n", true, "serial"},
      {"value of first line only", "DRIVER=serial\nKEY2=x\n", true, "serial"},
      {"value after first equals", "a=b=c\n", true, "b=c"},
      {"no equals", "noequals\n", true, "noequals"},
      {"leading equals", "=abc\n", true, "=abc"},
      {"first line without equals", "first\nKEY=value\n", true, "value"},
  };
  FakeRoot fake;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fake.file("/sys/attr", row.content);
    EXPECT_EQ(readSysfsAttribute("/sys/attr", row.keyValue, fake.root()), row.expected);
  }
}

TEST(ReadSysfsAttribute, MissingOrUnreadableGivesEmptyText) {
  FakeRoot fake;
  fake.folder("/sys/dir");
  for (bool keyValue : {false, true}) {
    EXPECT_EQ(readSysfsAttribute("/sys/no-such-file", keyValue, fake.root()), "");
    EXPECT_EQ(readSysfsAttribute("/sys/dir", keyValue, fake.root()), "");
  }
}

TEST(ReadSysfsAttribute, ReadsLargeFilesWhole) {
  FakeRoot fake;
  const std::string big(10000, 'x');
  fake.file("/sys/big", big + "\n");
  EXPECT_EQ(readSysfsAttribute("/sys/big", false, fake.root()), big);
}

TEST(TtyDriverName, TakesFirstDriverKeyOfTheDeviceUevent) {
  struct Row {
    const char* name;
    std::string uevent;
    std::string expected;
  };
  const Row rows[] = {
      {"usb interface", "DEVTYPE=usb_interface\nDRIVER=ftdi_sio\nPRODUCT=403/6001/600\n",
       "ftdi_sio"},
      {"last line without newline", "DEVTYPE=usb_interface\nDRIVER=cdc_acm", "cdc_acm"},
      {"no driver", "DEVTYPE=usb_interface\nPRODUCT=403/6001/600\n", ""},
      {"first occurrence wins", "XDRIVER=a\nDRIVER=b\n", "a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeRoot fake;
    fake.file("/sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/uevent", row.uevent);
    fake.link("/sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0/device", "../../../ttyUSB0");
    fake.link("/sys/class/tty/ttyUSB0", "../../devices/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0");
    EXPECT_EQ(ttyDriverName("/dev/ttyUSB0", fake.root()), row.expected);
  }
}

TEST(TtyDriverName, EmptyWithoutUeventOrForShortPaths) {
  FakeRoot fake;
  EXPECT_EQ(ttyDriverName("/dev/ttyUSB0", fake.root()), "");
  EXPECT_EQ(ttyDriverName("/de", fake.root()), "");
  EXPECT_EQ(ttyDriverName("", fake.root()), "");
}

TEST(StripHexPrefix, RemovesOnlyALeadingLowercasePrefix) {
  const std::pair<std::string, std::string> rows[] = {
      {"0x1b", "1b"}, {"1b", "1b"}, {"0X1b", "0X1b"}, {"x0x1", "x0x1"}, {"0x", ""}, {"", ""},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(stripHexPrefix(text), expected) << "for \"" << text << "\"";
  }
}

}  // namespace
}  // namespace ttyenum
