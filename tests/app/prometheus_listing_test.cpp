#include "app/prometheus_listing.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

std::string metrics(const std::vector<PortInfo>& ports, const std::vector<PortFacts>& facts,
                    const ListingSettings& settings = ListingSettings()) {
  std::ostringstream out;
  writePrometheusListing(ports, facts, settings, out);
  return out.str();
}

const char kInfoHead[] =
    "# HELP ttyenum_port_info Serial port found by ttyenum, with its USB ids, device strings, "
    "driver and stable /dev/serial names as labels; always 1.\n"
    "# TYPE ttyenum_port_info gauge\n";
const char kInUseHead[] =
    "# HELP ttyenum_port_in_use Whether a process holds the serial port open: 1 when one does, "
    "else 0.\n"
    "# TYPE ttyenum_port_in_use gauge\n";
const char kHolderHead[] =
    "# HELP ttyenum_port_holder The first process, in the text order of the /proc/<pid> names, "
    "that holds the serial port open, with its command name; only held ports, always 1.\n"
    "# TYPE ttyenum_port_holder gauge\n";
const char kPortsHead[] =
    "# HELP ttyenum_ports Number of serial ports listed, after the filters.\n"
    "# TYPE ttyenum_ports gauge\n";

TEST(PrometheusListing, EveryFamilyEvenWithoutPorts) {
  const std::string expected =
      std::string(kInfoHead) + kInUseHead + kHolderHead + kPortsHead + "ttyenum_ports 0\n";
  EXPECT_EQ(metrics({}, {}), expected);
  ListingSettings used;
  used.stateFilter = StateFilter::kUsed;
  EXPECT_EQ(metrics({testing::ftdiPort("/dev/ttyUSB0")}, {PortFacts()}, used), expected);
}

// The filters apply; a held port whose holder's command could not be read still names its pid;
// device text is escaped in every label and the labels keep their order.
TEST(PrometheusListing, FilteredPortsWithHolderAndHostileText) {
  PortInfo gadget = testing::ftdiPort("/dev/ttyACM0", true);
  gadget.vendorId = "0525";
  gadget.product = "Pwn\x1b[31m\"q\"\\";
  gadget.serialNumber = "LAB\nFAKE\xff";
  PortFacts gadgetFacts;
  gadgetFacts.holderPid = 77;
  gadgetFacts.usbLocation = "3-1";
  gadgetFacts.usbInterface = 10;
  gadgetFacts.links = {"/dev/serial/by-path/pci-usb-0:1:1.10"};
  PortInfo uart;
  uart.portName = "/dev/ttyS0";
  uart.product = "UART";
  PortFacts uartFacts;
  uartFacts.kind = PortKind::kPci;
  ListingSettings notFtdi;
  notFtdi.vendorIdFilter = "0525";

  const std::string text = metrics({uart, testing::ftdiPort("/dev/ttyUSB0", true), gadget},
                                   {uartFacts, PortFacts(), gadgetFacts}, notFtdi);
  EXPECT_EQ(
      text,
      std::string(kInfoHead) +
          "ttyenum_port_info{port=\"/dev/ttyACM0\",kind=\"usb\",vendor_id=\"0525\","
          "product_id=\"6001\",manufacturer=\"FTDI\",product=\"Pwn\xef\xbf\xbd[31m\\\"q\\\"\\\\\","
          "serial=\"LAB\\nFAKE\xef\xbf\xbd\",driver=\"ftdi_sio\",usb_location=\"3-1\","
          "usb_interface=\"10\",by_id=\"\",by_path=\"/dev/serial/by-path/pci-usb-0:1:1.10\"} 1\n" +
          kInUseHead + "ttyenum_port_in_use{port=\"/dev/ttyACM0\"} 1\n" + kHolderHead +
          "ttyenum_port_holder{port=\"/dev/ttyACM0\",pid=\"77\",command=\"\"} 1\n" + kPortsHead +
          "ttyenum_ports 1\n");
}

}  // namespace
}  // namespace ttyenum
