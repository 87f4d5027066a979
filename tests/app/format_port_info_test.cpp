#include "app/format_port_info.h"

#include <gtest/gtest.h>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

PortInfo usbPort() {
  return testing::ftdiPort("/dev/ttyUSB1");
}

TEST(FormatPortInfo, RendersPlaceholdersAndLiteralBytes) {
  struct Row {
    const char* name;
    std::string format;
    std::string expected;
  };
  const Row rows[] = {
      {"help text example", "%c,%s", "/dev/ttyUSB1,free\n"},
      {"every field", "%c|%u|%m|%p|%n|%d|%v|%s",
       "/dev/ttyUSB1|0403:6001|FTDI|FT232R USB UART|A50285BI|ftdi_sio| 6.00|free\n"},
      {"tab", "%c%t%s", "/dev/ttyUSB1\tfree\n"},
      {"doubled percent", "%%", "%\n"},
      {"doubled percent then letter", "%%c", "%c\n"},
      {"three percents then letter", "%%%c", "%/dev/ttyUSB1\n"},
      {"trailing lone percent", "50%", "50\n"},
      {"unknown placeholder dropped whole", "a%xb", "ab\n"},
      {"upper case is unknown", "a%Cb", "ab\n"},
      {"percent and space dropped", "a% b", "ab\n"},
      {"placeholders repeat", "%c %c", "/dev/ttyUSB1 /dev/ttyUSB1\n"},
      {"no placeholders", "plain text", "plain text\n"},
      {"empty format", "", "\n"},
      {"multi-byte character after percent loses its first byte", "%\xc3\xa9x", "\xa9x\n"},
      {"UTF-8 literal kept", "%c \xe2\x86\x92 %s", "/dev/ttyUSB1 \xe2\x86\x92 free\n"},
      {"control bytes of the format itself kept", "%c\r\x1b", "/dev/ttyUSB1\r\x1b\n"},
  };
  const PortInfo port = usbPort();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(formatPortInfo(port, row.format), row.expected);
  }
}

TEST(FormatPortInfo, EmptyFieldsAndState) {
  PortInfo port;
  port.portName = "/dev/ttyS0";
  port.inUse = true;
  EXPECT_EQ(formatPortInfo(port, "%u"), ":\n");
  EXPECT_EQ(formatPortInfo(port, "[%m][%p][%n][%d][%v]"), "[][][][][]\n");
  EXPECT_EQ(formatPortInfo(port, "%s"), "used\n");
}

TEST(FormatPortInfo, EscapesControlBytesOfEveryField) {
  PortInfo port;
  port.portName = "/dev/tty\x1b[2J";
  port.serialNumber = "S\nN";
  port.product = "Pwn\x1b[31mRED";
  port.driver = "d\rv";
  port.manufacturer =
      "M\x7f\xc2\x9b"
      "1m";
  port.vendorId = "04\t03";
  port.productId = std::string(
      "60\x00"
      "1",
      4);
  port.version = "caf\xc3\xa9 \xe2\x86\x92 \xe6\x97\xa5\xe6\x9c\xac";
  const std::string expected =
      "/dev/tty\\x1b[2J\t04\\x0903:60\\x001\tM\\x7f\\xc2\\x9b1m\tPwn\\x1b[31mRED\tS\\x0aN\t"
      "d\\x0dv\tcaf\xc3\xa9 \xe2\x86\x92 \xe6\x97\xa5\xe6\x9c\xac\tfree\n";
  EXPECT_EQ(formatPortInfo(port, "%c%t%u%t%m%t%p%t%n%t%d%t%v%t%s"), expected);
}

}  // namespace
}  // namespace ttyenum
