#include "app/text_listing.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ttyenum {
namespace {

PortInfo makePort(const std::string& name, const std::string& vendorId,
                  const std::string& productId, bool inUse) {
  PortInfo port;
  port.portName = name;
  port.serialNumber = "SN-" + name.substr(5);
  port.product = "Product";
  port.driver = "ftdi_sio";
  port.manufacturer = "Maker";
  port.vendorId = vendorId;
  port.productId = productId;
  port.version = " 2.00";
  port.inUse = inUse;
  return port;
}

// A PNP UART with no ids, a free FTDI adapter and a CDC ACM gadget held open.
std::vector<PortInfo> threePorts() {
  return {makePort("/dev/ttyS0", "", "", false), makePort("/dev/ttyUSB0", "0403", "6001", false),
          makePort("/dev/ttyACM0", "0525", "a4a7", true)};
}

std::string listing(const std::vector<PortInfo>& ports, const ListingSettings& settings) {
  std::ostringstream out;
  writeTextListing(filterPorts(ports, {}, settings.filter), settings, out);
  return out.str();
}

TEST(WriteListing, LongBlocksInARowWithCountLine) {
  const std::vector<PortInfo> ports = {makePort("/dev/ttyS0", "", "", false),
                                       makePort("/dev/ttyACM0", "0525", "a4a7", true)};
  const std::string rule(60, '-');
  const std::string expected = rule +
                               "\n"
                               "Portname:\t/dev/ttyS0\n"
                               "VID:PID:\t:\n"
                               "Vendor:  \tMaker\n"
                               "Product: \tProduct\n"
                               "Serial:  \tSN-ttyS0\n"
                               "Driver:  \tftdi_sio\n"
                               "Version: \t 2.00\n"
                               "State:   \tfree\n" +
                               rule + "\n" + rule +
                               "\n"
                               "Portname:\t/dev/ttyACM0\n"
                               "VID:PID:\t0525:a4a7\n"
                               "Vendor:  \tMaker\n"
                               "Product: \tProduct\n"
                               "Serial:  \tSN-ttyACM0\n"
                               "Driver:  \tftdi_sio\n"
                               "Version: \t 2.00\n"
                               "State:   \tIn use\n" +
                               rule +
                               "\n"
                               "Found serial ports: 2\n";
  EXPECT_EQ(listing(ports, ListingSettings()), expected);
}

TEST(WriteListing, EmptyFieldsLeaveLabelsAlone) {
  PortInfo bare;
  bare.portName = "/dev/ttyS4";
  ListingSettings noCount;
  noCount.countingOff = true;
  const std::string rule(60, '-');
  EXPECT_EQ(listing({bare}, noCount), rule +
                                          "\nPortname:\t/dev/ttyS4\nVID:PID:\t:\nVendor:  \t\n"
                                          "Product: \t\nSerial:  \t\nDriver:  \t\nVersion: \t\n"
                                          "State:   \tfree\n" +
                                          rule + "\n");
}

TEST(WriteListing, FiltersFormsAndCounting) {
  struct Row {
    const char* name;
    ListingSettings settings;
    std::string expected;
  };
  auto with = [](auto change) {
    ListingSettings settings;
    settings.listForm = ListForm::kShort;
    change(settings);
    return settings;
  };
  const Row rows[] = {
      {"short, all", with([](ListingSettings&) {}),
       "/dev/ttyS0\n/dev/ttyUSB0\n/dev/ttyACM0\nFound serial ports: 3\n"},
      {"no counting", with([](ListingSettings& s) { s.countingOff = true; }),
       "/dev/ttyS0\n/dev/ttyUSB0\n/dev/ttyACM0\n"},
      {"free counts only printed ports",
       with([](ListingSettings& s) { s.filter.state = StateFilter::kFree; }),
       "/dev/ttyS0\n/dev/ttyUSB0\nFound serial ports: 2\n"},
      {"used", with([](ListingSettings& s) { s.filter.state = StateFilter::kUsed; }),
       "/dev/ttyACM0\nFound serial ports: 1\n"},
      {"vid exact", with([](ListingSettings& s) { s.filter.vendorId = "0403"; }),
       "/dev/ttyUSB0\nFound serial ports: 1\n"},
      {"vid with 0x prefix", with([](ListingSettings& s) { s.filter.vendorId = "0x0403"; }),
       "Found serial ports: 0\n"},
      {"vid without leading zero", with([](ListingSettings& s) { s.filter.vendorId = "403"; }),
       "Found serial ports: 0\n"},
      {"vid with trailing blank", with([](ListingSettings& s) { s.filter.vendorId = "0403 "; }),
       "Found serial ports: 0\n"},
      {"another vid", with([](ListingSettings& s) { s.filter.vendorId = "0525"; }),
       "/dev/ttyACM0\nFound serial ports: 1\n"},
      {"pid exact", with([](ListingSettings& s) { s.filter.productId = "a4a7"; }),
       "/dev/ttyACM0\nFound serial ports: 1\n"},
      {"pid case counts", with([](ListingSettings& s) { s.filter.productId = "A4A7"; }),
       "Found serial ports: 0\n"},
      {"vid and pid together",
       with([](ListingSettings& s) { s.filter.vendorId = "0403", s.filter.productId = "a4a7"; }),
       "Found serial ports: 0\n"},
      {"used and vid", with([](ListingSettings& s) {
         s.filter.state = StateFilter::kUsed, s.filter.vendorId = "0403";
       }),
       "Found serial ports: 0\n"},
      {"format over short", with([](ListingSettings& s) { s.format = "%c,%s"; }),
       "/dev/ttyS0,free\n/dev/ttyUSB0,free\n/dev/ttyACM0,used\nFound serial ports: 3\n"},
      {"format over long",
       with([](ListingSettings& s) { s.listForm = ListForm::kLong, s.format = "%u"; }),
       ":\n0403:6001\n0525:a4a7\nFound serial ports: 3\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(listing(threePorts(), row.settings), row.expected);
  }
}

TEST(WriteListing, NoPortsWritesNothing) {
  ListingSettings settings;
  EXPECT_EQ(listing({}, settings), "");
  settings.filter.state = StateFilter::kUsed;
  EXPECT_EQ(listing({}, settings), "");
}

TEST(WriteListing, ReturnsThePrintedCount) {
  ListingSettings settings;
  settings.filter.state = StateFilter::kFree;
  std::ostringstream out;
  EXPECT_EQ(writeTextListing(filterPorts(threePorts(), {}, settings.filter), settings, out), 2);
}

TEST(WriteListing, EscapesDeviceTextInLongAndShortForms) {
  PortInfo hostile = makePort("/dev/ttyUSB\x1b[0", "0403", "6001", false);
  hostile.product = "Pwn\x1b[31mRED\r\x7f";
  hostile.serialNumber =
      "LAB\n\xc2\x9b"
      "2J\t\xc3\xa9\xe2\x86\x92\xe6\x97\xa5\xe6\x9c\xac";
  ListingSettings settings;
  settings.countingOff = true;
  const std::string rule(60, '-');
  EXPECT_EQ(listing({hostile}, settings),
            rule +
                "\n"
                "Portname:\t/dev/ttyUSB\\x1b[0\n"
                "VID:PID:\t0403:6001\n"
                "Vendor:  \tMaker\n"
                "Product: \tPwn\\x1b[31mRED\\x0d\\x7f\n"
                "Serial:  \tLAB\\x0a\\xc2\\x9b2J\\x09\xc3\xa9\xe2\x86\x92\xe6\x97\xa5\xe6\x9c\xac\n"
                "Driver:  \tftdi_sio\n"
                "Version: \t 2.00\n"
                "State:   \tfree\n" +
                rule + "\n");
  settings.listForm = ListForm::kShort;
  EXPECT_EQ(listing({hostile}, settings), "/dev/ttyUSB\\x1b[0\n");
}

TEST(WriteListing, FiltersCompareStoredUnescapedIds) {
  PortInfo port = makePort("/dev/ttyUSB0", "04\n03",
                           "60\x1b"
                           "1",
                           false);
  ListingSettings settings;
  settings.listForm = ListForm::kShort;
  settings.filter.vendorId = "04\n03";
  settings.filter.productId =
      "60\x1b"
      "1";
  EXPECT_EQ(listing({port}, settings), "/dev/ttyUSB0\nFound serial ports: 1\n");
  settings.filter.vendorId = "04\\x0a03";
  EXPECT_EQ(listing({port}, settings), "Found serial ports: 0\n");
}

}  // namespace
}  // namespace ttyenum
