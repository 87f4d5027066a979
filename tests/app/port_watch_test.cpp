#include "app/port_watch.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/json_listing.h"
#include "support/fake_root.h"

namespace ttyenum {
namespace {

PortEvent ftdiEvent(PortEventKind kind, const std::string& portName) {
  PortEvent event;
  event.kind = kind;
  event.listed.port = testing::ftdiPort(portName, true);
  event.listed.facts.device = DeviceNumber{188, 0};
  event.listed.facts.holderPid = 4242;
  event.listed.facts.holderCommand = "picocom";
  event.listed.facts.links = {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
  return event;
}

TEST(WatchEventLine, EventWordTabAndThePortInEachForm) {
  ListingSettings plain;
  ListingSettings shortList;
  shortList.listForm = ListForm::kShort;
  shortList.countingOff = true;
  ListingSettings formatted;
  formatted.format = "%c %u%t%s";
  ListingSettings trailingPercent;
  trailingPercent.format = "%c%";
  const struct {
    const char* name;
    PortEvent event;
    const ListingSettings& settings;
    const char* line;
  } rows[] = {
      {"name", ftdiEvent(PortEventKind::kAdd, "/dev/ttyUSB0"), plain, "add\t/dev/ttyUSB0\n"},
      {"remove", ftdiEvent(PortEventKind::kRemove, "/dev/ttyUSB0"), plain,
       "remove\t/dev/ttyUSB0\n"},
      {"list and counting change nothing", ftdiEvent(PortEventKind::kAdd, "/dev/ttyUSB0"),
       shortList, "add\t/dev/ttyUSB0\n"},
      {"format without its line feed", ftdiEvent(PortEventKind::kAdd, "/dev/ttyUSB0"), formatted,
       "add\t/dev/ttyUSB0 0403:6001\tused\n"},
      {"format ending in a lone %", ftdiEvent(PortEventKind::kRemove, "/dev/ttyUSB1"),
       trailingPercent, "remove\t/dev/ttyUSB1\n"},
      {"control bytes in the name", ftdiEvent(PortEventKind::kAdd, "/dev/tty\nUSB0"), plain,
       "add\t/dev/tty\\x0aUSB0\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(watchEventLine(row.event, row.settings), row.line);
  }
}

TEST(WatchEventLine, JsonLineHoldsTheDocumentsPortObject) {
  ListingSettings json;
  json.json = true;
  json.format = "%c";  // the JSON form wins, as in the listing
  PortEvent event = ftdiEvent(PortEventKind::kRemove, "/dev/ttyUSB0");
  event.listed.port.product = "Pwn\x1b[31m\x7f\xff";

  const std::string line = watchEventLine(event, json);
  EXPECT_EQ(line, "{\"event\": \"remove\", \"port\": " +
                      jsonPortText(event.listed.port, event.listed.facts) + "}\n");
  const auto parsed = nlohmann::ordered_json::parse(line);
  EXPECT_EQ(parsed.at("event"), "remove");
  EXPECT_EQ(parsed.at("port").at("holder").at("command"), "picocom");
  EXPECT_EQ(parsed.at("port").at("device"), "188:0");
}

}  // namespace
}  // namespace ttyenum
