#include "forms/format_port_info.h"

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

PortFacts heldUsbFacts() {
  PortFacts facts;
  facts.kind = PortKind::kUsb;
  facts.holderPid = 4242;
  facts.holderCommand = "minicom";
  facts.device = DeviceNumber{188, 1};
  facts.links = {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                 "/dev/serial/by-id/usb-FTDI_second-if00-port0",
                 "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0"};
  facts.group = "dialout";
  facts.access = "r";
  return facts;
}

TEST(FormatPortInfo, FactLetters) {
  struct Row {
    const char* name;
    std::string format;
    std::string expected;
  };
  const Row rows[] = {
      {"kind", "%k", "usb\n"},
      {"holder pid and command", "%h %H", "4242 minicom\n"},
      {"not a console", "[%C]", "[]\n"},
      {"first by-id link", "%b",
       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"},
      {"device number", "%D", "188:1\n"},
      {"access and group", "%a %g", "r dialout\n"},
      {"with the fields", "%c%t%k%t%s", "/dev/ttyUSB1\tusb\tused\n"},
      {"other letters still dropped", "[%x%B%K%G%A%e]", "[]\n"},
      {"doubled percent before a letter", "%%h", "%h\n"},
  };
  const PortInfo port = testing::ftdiPort("/dev/ttyUSB1", true);
  const PortFacts facts = heldUsbFacts();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(formatPortInfo(port, facts, row.format), row.expected);
  }
}

TEST(FormatPortInfo, UnknownFactsRenderEmptyAndDeviceTextIsEscaped) {
  const std::string every = "[%k][%h][%H][%b][%D][%a][%g]";
  PortInfo uart;
  uart.portName = "/dev/ttyS0";
  PortFacts none;
  none.kind = PortKind::kPlugAndPlay;
  none.links = {"/dev/serial/by-path/platform-serial8250-port0"};  // no by-id link
  EXPECT_EQ(formatPortInfo(uart, none, every), "[pnp][][][][][][]\n");
  // A holder that exited before its command was read has a pid but no command.
  PortFacts gone;
  gone.holderPid = 7;
  EXPECT_EQ(formatPortInfo(uart, gone, "%h|%H"), "7|\n");
  // A holder that no process is known for shows nothing; a console says so.
  PortFacts locked;
  locked.holderVia = HolderVia::kLock;
  locked.console = true;
  EXPECT_EQ(formatPortInfo(uart, locked, "%h|%H|%C"), "||console\n");
  // Without facts, every fact letter is empty, the kind included.
  EXPECT_EQ(formatPortInfo(uart, every), "[][][][][][][]\n");

  PortFacts hostile = heldUsbFacts();
  hostile.holderCommand = "evil\x1b]0;x\x07";
  hostile.group = "gr\noup\xff";
  hostile.links = {"/dev/serial/by-id/usb-\x1b[2J"};
  EXPECT_EQ(formatPortInfo(uart, hostile, "%H|%g|%b"),
            "evil\\x1b]0;x\\x07|gr\\x0aoup\\xff|/dev/serial/by-id/usb-\\x1b[2J\n");
}

TEST(FactsUsedBy, NamesOnlyWhatTheFormatShows) {
  struct Row {
    const char* format;
    bool holderCommand, links, node;
    bool console = false;
  };
  const Row rows[] = {
      {"%c %u %m %p %n %d %v %s %t", false, false, false},
      {"%k %h", false, false, false},  // the kind and the pid come with the probes and the scan
      {"%H", true, false, false},
      {"%b", false, true, false},
      {"%D", false, false, true},
      {"%a", false, false, true},
      {"%g", false, false, true},
      {"%%H %%b %%D", false, false, false},
      {"%H%b%a", true, true, true},
      {"50%", false, false, false},
      {"%C", false, false, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.format);
    const FactNeeds needs = factsUsedBy(row.format);
    EXPECT_EQ(needs.holderCommand, row.holderCommand);
    EXPECT_EQ(needs.links, row.links);
    EXPECT_EQ(needs.node, row.node);
    EXPECT_EQ(needs.console, row.console);
  }
}

}  // namespace
}  // namespace ttyenum
