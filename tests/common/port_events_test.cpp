#include "common/port_events.h"

#include <gtest/gtest.h>

#include <string>

namespace ttyenum {
namespace {

// "name" for a port without a device number, "name=major:minor" for a character device; either
// may end in "/bus.address.serial" for a USB port's device.
ListedPort listed(const std::string& text) {
  ListedPort port;
  const size_t slash = text.find('/', 1);
  const size_t usb = text.find('/', slash + 1);
  const std::string entry = text.substr(0, usb);
  if (usb != std::string::npos) {
    const std::string device = text.substr(usb + 1);
    const size_t dot = device.find('.');
    const size_t secondDot = device.find('.', dot + 1);
    port.facts.usbBusNumber = static_cast<unsigned>(std::stoul(device));
    port.facts.usbDeviceAddress = static_cast<unsigned>(std::stoul(device.substr(dot + 1)));
    port.port.serialNumber = device.substr(secondDot + 1);
  }
  const size_t equals = entry.find('=');
  port.port.portName = entry.substr(0, equals);
  if (equals != std::string::npos) {
    const std::string numbers = entry.substr(equals + 1);
    port.facts.device =
        DeviceNumber{static_cast<unsigned>(std::stoul(numbers)),
                     static_cast<unsigned>(std::stoul(numbers.substr(numbers.find(':') + 1)))};
  }
  return port;
}

std::vector<ListedPort> listing(std::initializer_list<const char*> entries) {
  std::vector<ListedPort> ports;
  for (const char* entry : entries)
    ports.push_back(listed(entry));
  return ports;
}

// The events as "+name" and "-name", with the device number where the port has one.
std::string eventText(const std::vector<PortEvent>& events) {
  std::string text;
  for (const PortEvent& event : events) {
    text += event.kind == PortEventKind::kAdd ? " +" : " -";
    text += event.listed.port.portName;
    if (event.listed.facts.device)
      text += "=" + std::to_string(event.listed.facts.device->major) + ":" +
              std::to_string(event.listed.facts.device->minor);
  }
  return text;
}

TEST(PortEvents, RemovalsInOldOrderThenAdditionsInNewOrder) {
  const struct {
    const char* name;
    std::vector<ListedPort> older, newer;
    const char* events;
  } rows[] = {
      {"first scan",
       {},
       listing({"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0"}),
       " +/dev/ttyS0 +/dev/ttyUSB0 +/dev/ttyACM0"},
      {"nothing changed", listing({"/dev/ttyS0", "/dev/ttyUSB0=188:0"}),
       listing({"/dev/ttyS0", "/dev/ttyUSB0=188:0"}), ""},
      {"all gone", listing({"/dev/ttyUSB0", "/dev/ttyUSB1"}), {}, " -/dev/ttyUSB0 -/dev/ttyUSB1"},
      {"hub of four", listing({"/dev/ttyS0"}),
       listing({"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB10", "/dev/ttyUSB2"}),
       " +/dev/ttyUSB0 +/dev/ttyUSB1 +/dev/ttyUSB10 +/dev/ttyUSB2"},
      {"removals before additions", listing({"/dev/ttyUSB0", "/dev/ttyUSB1"}),
       listing({"/dev/ttyUSB1", "/dev/ttyACM0"}), " -/dev/ttyUSB0 +/dev/ttyACM0"},
      {"new device number under the same name", listing({"/dev/ttyUSB0=188:0", "/dev/ttyUSB1"}),
       listing({"/dev/ttyUSB0=188:5", "/dev/ttyUSB1"}), " -/dev/ttyUSB0=188:0 +/dev/ttyUSB0=188:5"},
      {"node became a character device", listing({"/dev/ttyS0"}), listing({"/dev/ttyS0=4:64"}),
       " -/dev/ttyS0 +/dev/ttyS0=4:64"},
      {"same device under a new name", listing({"/dev/ttyUSB0=188:0"}),
       listing({"/dev/ttyUSB1=188:0"}), " -/dev/ttyUSB0=188:0 +/dev/ttyUSB1=188:0"},
      {"same USB device", listing({"/dev/ttyUSB0=188:0/1.5.A5"}),
       listing({"/dev/ttyUSB0=188:0/1.5.A5"}), ""},
      {"adapter swapped for one with another serial",
       listing({"/dev/ttyUSB0=188:0/1.5.A5", "/dev/ttyS0=4:64"}),
       listing({"/dev/ttyUSB0=188:0/1.5.B7", "/dev/ttyS0=4:64"}),
       " -/dev/ttyUSB0=188:0 +/dev/ttyUSB0=188:0"},
      {"same adapter plugged again: a new address", listing({"/dev/ttyUSB0=188:0/1.5.A5"}),
       listing({"/dev/ttyUSB0=188:0/1.6.A5"}), " -/dev/ttyUSB0=188:0 +/dev/ttyUSB0=188:0"},
      {"same address on another bus", listing({"/dev/ttyACM0=166:0/1.5."}),
       listing({"/dev/ttyACM0=166:0/2.5."}), " -/dev/ttyACM0=166:0 +/dev/ttyACM0=166:0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(eventText(portEvents(row.older, row.newer)), row.events);
  }
}

TEST(PortEvents, OtherFieldsDoNotMakeAnEventAndRemovalsShowTheOldRecord) {
  std::vector<ListedPort> older = listing({"/dev/ttyUSB0=188:0", "/dev/ttyUSB1=188:1"});
  older[0].port.product = "FT232R";
  older[1].port.serialNumber = "A50285BI";
  std::vector<ListedPort> newer = listing({"/dev/ttyUSB0=188:0"});
  newer[0].port.inUse = true;
  newer[0].port.product = "renamed";
  newer[0].facts.links = {"/dev/serial/by-id/usb-FTDI"};

  const std::vector<PortEvent> events = portEvents(older, newer);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, PortEventKind::kRemove);
  EXPECT_EQ(events[0].listed.port.serialNumber, "A50285BI");
}

}  // namespace
}  // namespace ttyenum
