#include "app/listing.h"

#include <fcntl.h>
#include <unistd.h>

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
  writeListing(ports, settings, out);
  return out.str();
}

TEST(EvaluateOptions, PrecedenceAndExactValues) {
  struct Row {
    const char* name;
    OptionValues values;
    RunAction expected;
  };
  auto with = [](auto change) {
    OptionValues values;
    change(values);
    return values;
  };
  const Row rows[] = {
      {"nothing given", {}, RunAction::kList},
      {"help", with([](OptionValues& v) { v.help = true; }), RunAction::kShowHelp},
      {"help over version", with([](OptionValues& v) { v.help = v.version = true; }),
       RunAction::kShowHelp},
      {"help over bad list", with([](OptionValues& v) { v.help = true, v.list = "x"; }),
       RunAction::kShowHelp},
      {"version", with([](OptionValues& v) { v.version = true; }), RunAction::kShowVersion},
      {"version over bad list and state",
       with([](OptionValues& v) { v.version = true, v.list = "x", v.state = "y"; }),
       RunAction::kShowVersion},
      {"list short", with([](OptionValues& v) { v.list = "short"; }), RunAction::kList},
      {"list long", with([](OptionValues& v) { v.list = "long"; }), RunAction::kList},
      {"list case counts", with([](OptionValues& v) { v.list = "Short"; }),
       RunAction::kRejectValue},
      {"list empty", with([](OptionValues& v) { v.list = ""; }), RunAction::kRejectValue},
      {"list with trailing blank", with([](OptionValues& v) { v.list = "long "; }),
       RunAction::kRejectValue},
      {"state free", with([](OptionValues& v) { v.state = "free"; }), RunAction::kList},
      {"state used", with([](OptionValues& v) { v.state = "used"; }), RunAction::kList},
      {"state exist", with([](OptionValues& v) { v.state = "exist"; }), RunAction::kList},
      {"state case counts", with([](OptionValues& v) { v.state = "FREE"; }),
       RunAction::kRejectValue},
      {"state empty", with([](OptionValues& v) { v.state = ""; }), RunAction::kRejectValue},
      {"state prefix", with([](OptionValues& v) { v.state = "fre"; }), RunAction::kRejectValue},
      {"prometheus", with([](OptionValues& v) { v.prometheus = true; }), RunAction::kList},
      {"prometheus with json", with([](OptionValues& v) { v.prometheus = v.json = true; }),
       RunAction::kRejectValue},
      {"prometheus with watch", with([](OptionValues& v) { v.prometheus = v.watch = true; }),
       RunAction::kRejectValue},
      {"version over prometheus with json",
       with([](OptionValues& v) { v.version = v.prometheus = v.json = true; }),
       RunAction::kShowVersion},
      {"empty format, pid and vid are fine",
       with([](OptionValues& v) { v.format = v.productId = v.vendorId = ""; }), RunAction::kList},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(evaluateOptions(row.values).action, row.expected);
  }
}

TEST(EvaluateOptions, SettingsFromValues) {
  OptionValues values;
  values.format = "%c";
  values.list = "short";
  values.noCounting = true;
  values.productId = "6001";
  values.state = "used";
  values.vendorId = "0403";
  values.watch = true;
  const ListingSettings settings = evaluateOptions(values).settings;
  EXPECT_EQ(settings.format, "%c");
  EXPECT_EQ(settings.listForm, ListForm::kShort);
  EXPECT_TRUE(settings.countingOff);
  EXPECT_EQ(settings.productIdFilter, "6001");
  EXPECT_EQ(settings.stateFilter, StateFilter::kUsed);
  EXPECT_EQ(settings.vendorIdFilter, "0403");
  EXPECT_TRUE(settings.watch);

  const ListingSettings defaults = evaluateOptions(OptionValues()).settings;
  EXPECT_EQ(defaults.format, "");
  EXPECT_EQ(defaults.listForm, ListForm::kLong);
  EXPECT_FALSE(defaults.countingOff);
  EXPECT_EQ(defaults.stateFilter, StateFilter::kExist);
  EXPECT_FALSE(defaults.watch);
}

// Each form reads only the facts it shows; the metrics win over the format, as the JSON form does.
TEST(FactsNeededBy, EachFormReadsWhatItShows) {
  ListingSettings settings;
  EXPECT_FALSE(factsNeededBy(settings).any());
  settings.listForm = ListForm::kShort;
  EXPECT_FALSE(factsNeededBy(settings).any());
  settings.format = "%c %k %h";
  EXPECT_FALSE(factsNeededBy(settings).any());
  settings.format = "%c %a";
  EXPECT_TRUE(factsNeededBy(settings).node);
  EXPECT_FALSE(factsNeededBy(settings).links);

  settings.prometheus = true;
  const FactNeeds metrics = factsNeededBy(settings);
  EXPECT_TRUE(metrics.holderCommand);
  EXPECT_TRUE(metrics.links);
  EXPECT_FALSE(metrics.node);

  settings.prometheus = false;
  settings.json = true;
  const FactNeeds json = factsNeededBy(settings);
  EXPECT_TRUE(json.holderCommand && json.links && json.node);

  // A watch compares device numbers, and its format lines show the letters they name.
  settings.json = false;
  settings.watch = true;
  settings.format = "%c %H";
  const FactNeeds watch = factsNeededBy(settings);
  EXPECT_TRUE(watch.node && watch.holderCommand);
  EXPECT_FALSE(watch.links);
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
       with([](ListingSettings& s) { s.stateFilter = StateFilter::kFree; }),
       "/dev/ttyS0\n/dev/ttyUSB0\nFound serial ports: 2\n"},
      {"used", with([](ListingSettings& s) { s.stateFilter = StateFilter::kUsed; }),
       "/dev/ttyACM0\nFound serial ports: 1\n"},
      {"vid exact", with([](ListingSettings& s) { s.vendorIdFilter = "0403"; }),
       "/dev/ttyUSB0\nFound serial ports: 1\n"},
      {"vid with 0x prefix", with([](ListingSettings& s) { s.vendorIdFilter = "0x0403"; }),
       "Found serial ports: 0\n"},
      {"vid without leading zero", with([](ListingSettings& s) { s.vendorIdFilter = "403"; }),
       "Found serial ports: 0\n"},
      {"vid with trailing blank", with([](ListingSettings& s) { s.vendorIdFilter = "0403 "; }),
       "Found serial ports: 0\n"},
      {"another vid", with([](ListingSettings& s) { s.vendorIdFilter = "0525"; }),
       "/dev/ttyACM0\nFound serial ports: 1\n"},
      {"pid exact", with([](ListingSettings& s) { s.productIdFilter = "a4a7"; }),
       "/dev/ttyACM0\nFound serial ports: 1\n"},
      {"pid case counts", with([](ListingSettings& s) { s.productIdFilter = "A4A7"; }),
       "Found serial ports: 0\n"},
      {"vid and pid together",
       with([](ListingSettings& s) { s.vendorIdFilter = "0403", s.productIdFilter = "a4a7"; }),
       "Found serial ports: 0\n"},
      {"used and vid", with([](ListingSettings& s) {
         s.stateFilter = StateFilter::kUsed, s.vendorIdFilter = "0403";
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
  settings.stateFilter = StateFilter::kUsed;
  EXPECT_EQ(listing({}, settings), "");
}

TEST(WriteListing, ReturnsThePrintedCount) {
  ListingSettings settings;
  settings.stateFilter = StateFilter::kFree;
  std::ostringstream out;
  EXPECT_EQ(writeListing(threePorts(), settings, out), 2);
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
  settings.vendorIdFilter = "04\n03";
  settings.productIdFilter =
      "60\x1b"
      "1";
  EXPECT_EQ(listing({port}, settings), "/dev/ttyUSB0\nFound serial ports: 1\n");
  settings.vendorIdFilter = "04\\x0a03";
  EXPECT_EQ(listing({port}, settings), "Found serial ports: 0\n");
}

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
