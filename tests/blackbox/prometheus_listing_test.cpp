// The metrics form of the built binary, in a private namespace over the captured Debian 12 tree
// (kernel 6.1), checked whole, line by line, and by promtool where it is installed (always in
// CI).
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using Json = nlohmann::ordered_json;
using PrometheusListing = FakeRootRun;

const char kFixture[] = "qemu-debian12-6.1";
const char kUsb0Device[] = "/sys/devices/pci0000:00/0000:00:05.0/usb1/1-1";

// Checks `text` with promtool. Skips the calling test, saying why, where promtool is not
// installed, except under CI, where it must run.
void expectPromtoolAccepts(const std::string& text) {
  const ProcessResult which = runProcess({"/bin/sh", "-c", "command -v promtool"}, {});
  if (which.status != 0) {
    ASSERT_FALSE(underCi()) << "promtool is not installed, and CI must run it";
    GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
  }
  char name[] = "/tmp/ttyenum-metrics-XXXXXX";
  const int fd = ::mkstemp(name);
  ASSERT_GE(fd, 0);
  ::close(fd);
  std::ofstream(name, std::ios::binary) << text;
  const ProcessResult check =
      runProcess({"/bin/sh", "-c", "promtool check metrics < \"$0\"", name}, currentEnvironment());
  ::unlink(name);
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(check.out + check.err, "");
}

std::string infoLine(const std::string& labels) {
  return "ttyenum_port_info{" + labels + "} 1\n";
}

const char kHeads[][600] = {
    "# HELP ttyenum_port_info Serial port found by ttyenum, with its USB ids, device strings, "
    "driver and stable /dev/serial names as labels; always 1.\n"
    "# TYPE ttyenum_port_info gauge\n",
    "# HELP ttyenum_port_in_use Whether a process holds the serial port open: 1 when one does, "
    "else 0.\n"
    "# TYPE ttyenum_port_in_use gauge\n",
    "# HELP ttyenum_port_holder The process shown as holding the serial port, with its command "
    "name and what shows it (via): a descriptor, else the port as its controlling terminal, else "
    "a lock, else a lock file; among one kind the first in the text order of the /proc/<pid> "
    "names. pid and command are empty when no process is named. Only held ports, always 1.\n"
    "# TYPE ttyenum_port_holder gauge\n",
    "# HELP ttyenum_ports Number of serial ports listed, after the filters.\n"
    "# TYPE ttyenum_ports gauge\n",
    "# HELP ttyenum_holders_complete Whether the descriptors of every process could be read, so "
    "that a free port is surely free: 1 when they could, else 0.\n"
    "# TYPE ttyenum_holders_complete gauge\n",
};

TEST_F(PrometheusListing, CapturedTreeWithHolderAndLinksWhole) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  addQemuStableLinks(fake);
  const ProcessResult result = runToolInFakeRoot(fake, {"--prometheus"}, {"/dev/ttyACM0"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");

  std::smatch pid;
  ASSERT_TRUE(std::regex_search(result.out, pid, std::regex("pid=\"([0-9]+)\"")));
  const std::string pnp =
      "kind=\"pnp\",vendor_id=\"\",product_id=\"\",manufacturer=\"Linux\",product=\"UART\","
      "serial=\"PNP0501\",driver=\"serial\",usb_location=\"\",usb_interface=\"\",by_id=\"\","
      "by_path=\"\"";
  const std::string pci = "manufacturer=\"\",product=\"UART\",serial=\"pci:v00001B36d0000000";
  const std::string pciEnd =
      "sv00001AF4sd00001100bc07sc00i02\",driver=\"serial\",usb_location=\"\",usb_interface=\"\","
      "by_id=\"\",by_path=\"\"";
  const std::string qemu =
      "kind=\"usb\",vendor_id=\"0403\",product_id=\"6001\",manufacturer=\"QEMU\","
      "product=\"QEMU USB SERIAL\",";
  std::string expected = kHeads[0];
  expected += infoLine("port=\"/dev/ttyS0\"," + pnp);
  expected += infoLine("port=\"/dev/ttyS1\"," + pnp);
  expected += infoLine("port=\"/dev/ttyS4\",kind=\"pci\",vendor_id=\"1b36\",product_id=\"0002\"," +
                       pci + "2" + pciEnd);
  expected += infoLine("port=\"/dev/ttyS5\",kind=\"pci\",vendor_id=\"1b36\",product_id=\"0003\"," +
                       pci + "3" + pciEnd);
  expected += infoLine("port=\"/dev/ttyS6\",kind=\"pci\",vendor_id=\"1b36\",product_id=\"0003\"," +
                       pci + "3" + pciEnd);
  expected += infoLine(
      "port=\"/dev/ttyUSB0\"," + qemu +
      "serial=\"1-0000:00:05.0-1\",driver=\"ftdi_sio\",usb_location=\"1-1\",usb_interface=\"0\","
      "by_id=\"/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_1-0000:00:05.0-1-if00-port0\","
      "by_path=\"/dev/serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0\"");
  expected += infoLine(
      "port=\"/dev/ttyUSB1\"," + qemu +
      "serial=\"LAB-FTDI-0002\",driver=\"ftdi_sio\",usb_location=\"1-2.1\",usb_interface=\"0\","
      "by_id=\"/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0\","
      "by_path=\"/dev/serial/by-path/pci-0000:00:05.0-usb-0:2.1:1.0-port0\"");
  expected += infoLine(
      "port=\"/dev/ttyACM0\",kind=\"usb\",vendor_id=\"0525\",product_id=\"a4a7\","
      "manufacturer=\"Linux 6.1.0-57-amd64 with dummy_udc\",product=\"Gadget Serial v2.4\","
      "serial=\"LAB-ACM-0001\",driver=\"cdc_acm\",usb_location=\"3-1\",usb_interface=\"0\","
      "by_id=\"/dev/serial/by-id/usb-Linux_Gadget_Serial_v2.4_LAB-ACM-0001-if00\",by_path=\"\"");
  expected += kHeads[1];
  for (const char* port : {"ttyS0", "ttyS1", "ttyS4", "ttyS5", "ttyS6", "ttyUSB0", "ttyUSB1"})
    expected += "ttyenum_port_in_use{port=\"/dev/" + std::string(port) + "\"} 0\n";
  expected += "ttyenum_port_in_use{port=\"/dev/ttyACM0\"} 1\n";
  expected += kHeads[2];
  expected += "ttyenum_port_holder{port=\"/dev/ttyACM0\",pid=\"" + pid[1].str() +
              "\",command=\"sleep\",via=\"descriptor\"} 1\n";
  expected += kHeads[3];
  expected += "ttyenum_ports 8\n";
  expected += kHeads[4];
  expected += "ttyenum_holders_complete 1\n";
  EXPECT_EQ(result.out, expected);
  expectPromtoolAccepts(result.out);
}

// The form wins over --format and --list and ignores --no-counting; the filters apply; with
// nothing listed, every family is still there.
TEST_F(PrometheusListing, PrecedenceFiltersAndNoPorts) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  const ProcessResult plain = runToolInFakeRoot(fake, {"--prometheus", "--pid=0003"});
  EXPECT_NE(plain.out.find("ttyenum_port_info{port=\"/dev/ttyS5\""), std::string::npos);
  EXPECT_NE(plain.out.find("ttyenum_port_info{port=\"/dev/ttyS6\""), std::string::npos);
  EXPECT_NE(plain.out.find("\nttyenum_ports 2\n"), std::string::npos) << plain.out;
  const ProcessResult overOthers = runToolInFakeRoot(
      fake, {"--format=%c", "--list=short", "--no-counting", "--prometheus", "--pid=0003"});
  EXPECT_EQ(overOthers.out, plain.out);

  const std::string empty = std::string(kHeads[0]) + kHeads[1] + kHeads[2] + kHeads[3] +
                            "ttyenum_ports 0\n" + kHeads[4] + "ttyenum_holders_complete 1\n";
  EXPECT_EQ(runToolInFakeRoot(fake, {"--prometheus", "--state=used"}).out, empty);
  FakeRoot noPorts;
  noPorts.folder("/sys/class/tty");
  noPorts.folder("/dev");
  const ProcessResult none = runToolInFakeRoot(noPorts, {"--prometheus"});
  EXPECT_EQ(none.out, empty);
  EXPECT_EQ(none.status, 0);
  expectPromtoolAccepts(none.out);

  const ProcessResult both = runToolInFakeRoot(fake, {"--prometheus", "-J"});
  EXPECT_EQ(both.out, "");
  EXPECT_EQ(both.status, 2);
}

// Whatever a device writes, each line is a HELP, a TYPE or a sample line of the text format, and
// no raw control byte but the line feeds reaches the output.
TEST_F(PrometheusListing, HostileDeviceStringsKeepEveryLineParseable) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  fake.file(std::string(kUsb0Device) + "/product", "Pwn\x1b[31mRED\x7f\"}\\ 1\n");
  fake.file(std::string(kUsb0Device) + "/serial", "LAB\nFAKE\r\xff\xc2\x9b\n");
  fake.file(std::string(kUsb0Device) + "/manufacturer", "\xe2\x82\n# TYPE x counter\n");
  fake.link("/dev/serial/by-id/usb-\x1b[2J\"evil\"", "../../ttyUSB0");
  const ProcessResult result = runToolInFakeRoot(fake, {"--prometheus"});
  ASSERT_EQ(result.status, 0) << result.err;

  const std::string value = R"("(?:[^"\\\n]|\\[\\"n])*")";
  const std::regex sample("[a-z_]+(\\{[a-z_]+=" + value + "(,[a-z_]+=" + value + ")*\\})? [0-9]+");
  const std::regex comment("# (HELP|TYPE) [a-z_]+ .*");
  size_t lines = 0;
  size_t begin = 0;
  while (begin < result.out.size()) {
    const size_t end = result.out.find('\n', begin);
    ASSERT_NE(end, std::string::npos) << "last line without a line feed";
    const std::string line = result.out.substr(begin, end - begin);
    EXPECT_TRUE(std::regex_match(line, sample) || std::regex_match(line, comment)) << line;
    for (const char byte : line) {
      const auto code = static_cast<unsigned char>(byte);
      EXPECT_TRUE(code >= 0x20 && code != 0x7f) << "raw byte " << int(code) << " in " << line;
    }
    EXPECT_EQ(line.find("\xc2\x9b"), std::string::npos);
    begin = end + 1;
    ++lines;
  }
  EXPECT_EQ(lines, 5u * 2 + 8 + 8 + 1 + 1);
  EXPECT_NE(result.out.find("product=\"Pwn\xef\xbf\xbd[31mRED\xef\xbf\xbd\\\"}\\\\ 1\""),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("serial=\"LAB\\nFAKE\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""),
            std::string::npos);
  EXPECT_NE(result.out.find("by_id=\"/dev/serial/by-id/usb-\xef\xbf\xbd[2J\\\"evil\\\"\""),
            std::string::npos);
  expectPromtoolAccepts(result.out);
}

}  // namespace
}  // namespace ttyenum::testing
