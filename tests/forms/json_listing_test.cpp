#include "forms/json_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

using Json = nlohmann::ordered_json;

std::string jsonListing(const std::vector<PortInfo>& ports, const std::vector<PortFacts>& facts,
                        const PortFilter& filter = PortFilter(),
                        const HolderCoverage& holders = HolderCoverage()) {
  std::ostringstream out;
  PortListing listing = filterPorts(ports, facts, filter);
  listing.holders = holders;
  writeJsonListing(listing, out);
  return out.str();
}

TEST(JsonListing, EveryKeyInOrderWithItsValue) {
  PortInfo uart;
  uart.portName = "/dev/ttyS0";
  uart.product = "UART";
  PortFacts uartFacts;
  uartFacts.kind = PortKind::kPlugAndPlay;
  uartFacts.device = DeviceNumber{4, 64};
  uartFacts.console = true;

  PortFacts usbFacts;
  usbFacts.holderPid = 4242;
  usbFacts.holderVia = HolderVia::kDescriptor;
  usbFacts.holderCommand = "minicom";
  usbFacts.device = DeviceNumber{188, 0};
  usbFacts.usbLocation = "1-1.2";
  usbFacts.usbInterface = 1;
  usbFacts.links = {"/dev/serial/by-id/usb-FTDI-if01", "/dev/serial/by-path/pci-usb-0:1.2:1.1"};
  usbFacts.group = "dialout";
  usbFacts.access = "r";
  PortFacts goneHolder;
  goneHolder.holderPid = 7;  // the holder exited before its command was read
  goneHolder.holderVia = HolderVia::kLockFile;
  PortFacts unknownHolder;  // a lock on an open file description names no process
  unknownHolder.holderVia = HolderVia::kLock;

  const std::string text = jsonListing(
      {uart, testing::ftdiPort("/dev/ttyUSB0", true), testing::ftdiPort("/dev/ttyUSB1", true),
       testing::ftdiPort("/dev/ttyUSB2", true)},
      {uartFacts, usbFacts, goneHolder, unknownHolder}, PortFilter(), {false, 3});
  ASSERT_EQ(text.back(), '\n');
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "one document, one line";
  const Json document = Json::parse(text);
  const Json expected = Json::parse(R"({"ports": [
    {"portName": "/dev/ttyS0", "serialNumber": null, "product": "UART", "driver": null,
     "manufacturer": null, "vendorId": null, "productId": null, "version": null,
     "inUse": false, "holder": null, "kind": "pnp", "device": "4:64", "usbLocation": null,
     "usbInterface": null, "links": [], "group": null, "access": null, "console": true},
    {"portName": "/dev/ttyUSB0", "serialNumber": "A50285BI", "product": "FT232R USB UART",
     "driver": "ftdi_sio", "manufacturer": "FTDI", "vendorId": "0403", "productId": "6001",
     "version": " 6.00", "inUse": true, "holder": {"pid": 4242, "command": "minicom", "via": "descriptor"},
     "kind": "usb", "device": "188:0", "usbLocation": "1-1.2", "usbInterface": 1,
     "links": ["/dev/serial/by-id/usb-FTDI-if01", "/dev/serial/by-path/pci-usb-0:1.2:1.1"],
     "group": "dialout", "access": "r", "console": false},
    {"portName": "/dev/ttyUSB1", "serialNumber": "A50285BI", "product": "FT232R USB UART",
     "driver": "ftdi_sio", "manufacturer": "FTDI", "vendorId": "0403", "productId": "6001",
     "version": " 6.00", "inUse": true, "holder": {"pid": 7, "command": null, "via": "lock-file"},
     "kind": "usb", "device": null, "usbLocation": null, "usbInterface": null, "links": [],
     "group": null, "access": null, "console": false},
    {"portName": "/dev/ttyUSB2", "serialNumber": "A50285BI", "product": "FT232R USB UART",
     "driver": "ftdi_sio", "manufacturer": "FTDI", "vendorId": "0403", "productId": "6001",
     "version": " 6.00", "inUse": true, "holder": {"pid": null, "command": null, "via": "lock"},
     "kind": "usb", "device": null, "usbLocation": null, "usbInterface": null, "links": [],
     "group": null, "access": null, "console": false}
  ], "holdersComplete": false, "unreadableProcesses": 3})");
  // ordered_json compares key order too.
  EXPECT_EQ(document, expected) << text;
}

TEST(JsonListing, FiltersApplyAndAnEmptyResultIsAnEmptyArray) {
  const std::vector<PortInfo> ports = {testing::ftdiPort("/dev/ttyUSB0", false),
                                       testing::ftdiPort("/dev/ttyUSB1", true)};
  const std::vector<PortFacts> facts(2);
  PortFilter used;
  used.state = StateFilter::kUsed;
  EXPECT_EQ(Json::parse(jsonListing(ports, facts, used))["ports"].size(), 1u);
  EXPECT_EQ(Json::parse(jsonListing(ports, facts, used))["ports"][0]["portName"], "/dev/ttyUSB1");

  PortFilter otherVendor;
  otherVendor.vendorId = "1a86";
  EXPECT_EQ(jsonListing(ports, facts, otherVendor),
            "{\"ports\": [], \"holdersComplete\": true, \"unreadableProcesses\": 0}\n");
  EXPECT_EQ(jsonListing({}, {}),
            "{\"ports\": [], \"holdersComplete\": true, \"unreadableProcesses\": 0}\n");
}

// A device writes its own strings: whatever they hold, the output is valid UTF-8 with no raw
// control character, and a reader gets back every valid character.
TEST(JsonListing, HostileDeviceStringsComeBackIntactButNeverRaw) {
  PortInfo port = testing::ftdiPort("/dev/ttyUSB0", false);
  port.product = "Pwn\x1b[31mRED\x7f\xc2\x9b";
  port.serialNumber = std::string("LAB\n\"q\"\\\0\t", 10);
  port.manufacturer = "bad \xff\xfe end \xc3\xa9";
  port.driver = "a,b:c\\\",d";  // separators inside a string stay as they are
  const std::string text = jsonListing({port}, {PortFacts()});

  for (const char byte : text) {
    const auto code = static_cast<unsigned char>(byte);
    EXPECT_TRUE(code >= 0x20 ? code != 0x7f : byte == '\n') << "raw byte " << int(code);
  }
  EXPECT_EQ(text.find("\xc2\x9b"), std::string::npos);
  EXPECT_NE(text.find("Pwn\\u001b[31mRED\\u007f\\u009b"), std::string::npos) << text;

  const Json parsed = Json::parse(text)["ports"][0];
  EXPECT_EQ(parsed["product"], port.product);
  EXPECT_EQ(parsed["serialNumber"], port.serialNumber);
  EXPECT_EQ(parsed["manufacturer"], "bad \xef\xbf\xbd\xef\xbf\xbd end \xc3\xa9");
  EXPECT_EQ(parsed["driver"], port.driver);
}

}  // namespace
}  // namespace ttyenum
