#include "app/port_watch.h"

#include <gtest/gtest.h>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

PortEvent ftdiEvent(PortEventKind kind, const std::string& portName) {
  PortEvent event;
  event.kind = kind;
  event.listed.port = testing::ftdiPort(portName, true);
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

}  // namespace
}  // namespace ttyenum
