// The JSON form of the built binary, in a private namespace over the captured Debian 12 tree
// (kernel 6.1) with udev's stable links added as udev makes them: relative, from their folder.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using Json = nlohmann::ordered_json;
using JsonListing = FakeRootRun;

const char kFixture[] = "qemu-debian12-6.1";
const char kUsb0Device[] = "/sys/devices/pci0000:00/0000:00:05.0/usb1/1-1";

TEST_F(JsonListing, HolderStableNamesAndUsbLocationOfEveryPort) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  addQemuStableLinks(fake);
  ASSERT_EQ(::unlink(fake.path("/dev/ttyUSB1").c_str()), 0);
  ASSERT_EQ(::mknod(fake.path("/dev/ttyUSB1").c_str(), S_IFCHR | 0600, makedev(188, 1)), 0);
  fake.file(std::string(kUsb0Device) + "/product", "Pwn\x1b[31mRED\x7f\n");
  fake.file(std::string(kUsb0Device) + "/serial", "LAB\nFAKE\xff\n");

  const ProcessResult result = runToolInFakeRoot(fake, {"--json"}, {"/dev/ttyACM0"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  for (const char byte : result.out) {
    const auto code = static_cast<unsigned char>(byte);
    ASSERT_TRUE(code >= 0x20 ? code != 0x7f : byte == '\n') << "raw byte " << int(code);
  }
  const Json ports = Json::parse(result.out).at("ports");
  ASSERT_EQ(ports.size(), 8u) << result.out;

  const Json& ttyS4 = ports[2];
  EXPECT_EQ(ttyS4, Json::parse(R"({"portName": "/dev/ttyS4",
    "serialNumber": "pci:v00001B36d00000002sv00001AF4sd00001100bc07sc00i02", "product": "UART",
    "driver": "serial", "manufacturer": null, "vendorId": "1b36", "productId": "0002",
    "version": null, "inUse": false, "holder": null, "kind": "pci", "device": null,
    "usbLocation": null, "usbInterface": null, "links": [], "group": "root",
    "access": "rw", "console": false})"));
  EXPECT_EQ(ports[0]["kind"], "pnp");

  const Json& ttyUSB0 = ports[5];
  EXPECT_EQ(ttyUSB0["product"], "Pwn\x1b[31mRED\x7f");
  EXPECT_EQ(ttyUSB0["serialNumber"], "LAB\nFAKE\xef\xbf\xbd");
  EXPECT_EQ(ttyUSB0["usbLocation"], "1-1");
  EXPECT_EQ(
      ttyUSB0["links"],
      Json::parse(R"(["/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_1-0000:00:05.0-1-if00-port0",
                            "/dev/serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0"])"));

  EXPECT_EQ(ports[6], Json::parse(R"({"portName": "/dev/ttyUSB1",
    "serialNumber": "LAB-FTDI-0002", "product": "QEMU USB SERIAL", "driver": "ftdi_sio",
    "manufacturer": "QEMU", "vendorId": "0403", "productId": "6001", "version": " 2.00",
    "inUse": false, "holder": null, "kind": "usb", "device": "188:1", "usbLocation": "1-2.1",
    "usbInterface": 0,
    "links": ["/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0",
              "/dev/serial/by-path/pci-0000:00:05.0-usb-0:2.1:1.0-port0"],
    "group": "root", "access": "rw", "console": false})"));

  const Json& ttyACM0 = ports[7];
  EXPECT_EQ(ttyACM0["inUse"], true);
  EXPECT_GT(ttyACM0["holder"]["pid"].get<int>(), 0);
  EXPECT_EQ(ttyACM0["holder"]["command"], "sleep");
  EXPECT_EQ(ttyACM0["holder"]["via"], "descriptor");
  EXPECT_EQ(ttyACM0["usbLocation"], "3-1");
}

// The form wins over --format and --list and ignores --no-counting; the filters still apply,
// and a listing with nothing to show is an empty array, not silence.
TEST_F(JsonListing, PrecedenceFiltersAndTheEmptyDocument) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  const auto names = [](const ProcessResult& result) {
    std::vector<std::string> found;
    const Json document = Json::parse(result.out);
    for (const Json& port : document.at("ports"))
      found.push_back(port.at("portName"));
    return found;
  };
  const ProcessResult plain = runToolInFakeRoot(fake, {"-J", "--vid=0403"});
  EXPECT_EQ(names(plain), (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
  const ProcessResult overOthers = runToolInFakeRoot(
      fake, {"--format=%c", "--list=short", "--no-counting", "--json", "--vid=0403"});
  EXPECT_EQ(overOthers.out, plain.out);
  EXPECT_EQ(names(runToolInFakeRoot(fake, {"-J", "--pid=0003"})),
            (std::vector<std::string>{"/dev/ttyS5", "/dev/ttyS6"}));

  const std::string empty =
      "{\"ports\": [], \"holdersComplete\": true, \"unreadableProcesses\": 0}\n";
  EXPECT_EQ(runToolInFakeRoot(fake, {"--json", "--state=used"}).out, empty);
  FakeRoot noPorts;
  noPorts.folder("/sys/class/tty");
  noPorts.folder("/dev");
  const ProcessResult none = runToolInFakeRoot(noPorts, {"--json"});
  EXPECT_EQ(none.out, empty);
  EXPECT_EQ(none.status, 0);

  // A bad value is still rejected first, and -v still wins.
  EXPECT_EQ(runToolInFakeRoot(fake, {"--json", "--state=FREE"}).status, 2);
  EXPECT_EQ(runToolInFakeRoot(fake, {"--json", "-v"}).out, "0.1.0\n");
}

}  // namespace
}  // namespace ttyenum::testing
