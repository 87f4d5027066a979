// The built binary listing the ports of a fake tree bound over /sys and /dev in a private mount
// namespace. The tree "qemu-debian12-6.1" was captured from a Debian 12 guest (kernel 6.1) with
// ttyS0/1 on PNP, ttyS4/5/6 on PCI, ttyUSB0, ttyUSB1 behind a hub and a ttyACM0 gadget.
#include <locale.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

const char kFixture[] = "qemu-debian12-6.1";

struct Block {
  std::string name, ids, vendor, product, serial, driver, version;
};

const Block kQemuPorts[] = {
    {"/dev/ttyS0", ":", "Linux", "UART", "PNP0501", "serial", ""},
    {"/dev/ttyS1", ":", "Linux", "UART", "PNP0501", "serial", ""},
    {"/dev/ttyS4", "1b36:0002", "", "UART", "pci:v00001B36d00000002sv00001AF4sd00001100bc07sc00i02",
     "serial", ""},
    {"/dev/ttyS5", "1b36:0003", "", "UART", "pci:v00001B36d00000003sv00001AF4sd00001100bc07sc00i02",
     "serial", ""},
    {"/dev/ttyS6", "1b36:0003", "", "UART", "pci:v00001B36d00000003sv00001AF4sd00001100bc07sc00i02",
     "serial", ""},
    {"/dev/ttyUSB0", "0403:6001", "QEMU", "QEMU USB SERIAL", "1-0000:00:05.0-1", "ftdi_sio",
     " 2.00"},
    {"/dev/ttyUSB1", "0403:6001", "QEMU", "QEMU USB SERIAL", "LAB-FTDI-0002", "ftdi_sio", " 2.00"},
    {"/dev/ttyACM0", "0525:a4a7", "Linux 6.1.0-57-amd64 with dummy_udc", "Gadget Serial v2.4",
     "LAB-ACM-0001", "cdc_acm", " 2.00"},
};

// The sysfs folder of the USB device behind ttyUSB0 in the captured tree.
const char kUsb0Device[] = "/sys/devices/pci0000:00/0000:00:05.0/usb1/1-1";
const char kAcm0Device[] = "/sys/devices/platform/dummy_hcd.0/usb3/3-1";

std::string longBlock(const Block& port, bool inUse) {
  const std::string rule(60, '-');
  return rule + "\nPortname:\t" + port.name + "\nVID:PID:\t" + port.ids + "\nVendor:  \t" +
         port.vendor + "\nProduct: \t" + port.product + "\nSerial:  \t" + port.serial +
         "\nDriver:  \t" + port.driver + "\nVersion: \t" + port.version + "\nState:   \t" +
         (inUse ? "In use" : "free") + "\n" + rule + "\n";
}

// The long listing of the captured tree with `heldPort` (if any) in use.
std::string qemuLongListing(const std::string& heldPort = "") {
  std::string text;
  for (const Block& port : kQemuPorts)
    text += longBlock(port, port.name == heldPort);
  return text + "Found serial ports: 8\n";
}

using NamespaceListing = FakeRootRun;

TEST_F(NamespaceListing, LongFormOfEveryKindOfPort) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  const ProcessResult result = runToolInFakeRoot(fake, {});
  EXPECT_EQ(result.out, qemuLongListing());
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

TEST_F(NamespaceListing, HeldPortIsInUseAndStatesSplitTheList) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  const std::vector<std::string> held = {"/dev/ttyUSB0"};

  const ProcessResult all = runToolInFakeRoot(fake, {}, held);
  EXPECT_EQ(all.out, qemuLongListing("/dev/ttyUSB0"));
  EXPECT_EQ(all.status, 0);

  const ProcessResult used = runToolInFakeRoot(fake, {"--state=used", "--list=short"}, held);
  EXPECT_EQ(used.out, "/dev/ttyUSB0\nFound serial ports: 1\n");

  const ProcessResult free = runToolInFakeRoot(fake, {"-s", "free", "-f", "%c %s"}, held);
  EXPECT_EQ(free.out,
            "/dev/ttyS0 free\n/dev/ttyS1 free\n/dev/ttyS4 free\n/dev/ttyS5 free\n"
            "/dev/ttyS6 free\n/dev/ttyUSB1 free\n/dev/ttyACM0 free\n"
            "Found serial ports: 7\n");
}

TEST_F(NamespaceListing, HolderOfTtyUSB10DoesNotMakeTtyUSB1Used) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  fake.node("ttyUSB10");  // a node without sysfs entries: not listed itself
  const ProcessResult result =
      runToolInFakeRoot(fake, {"--format=%c %s", "--vid=0403"}, {"/dev/ttyUSB10"});
  EXPECT_EQ(result.out, "/dev/ttyUSB0 free\n/dev/ttyUSB1 free\nFound serial ports: 2\n");
  EXPECT_EQ(result.status, 0);
}

// A holder is known by the device it has open, not by the name it opened it under. ttyS0 is made
// a real character device here with the numbers of a spare virtual console, which a node of any
// name can open.
TEST_F(NamespaceListing, HoldersAreKnownByTheDeviceNotByItsName) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  ASSERT_EQ(::unlink(fake.path("/dev/ttyS0").c_str()), 0);
  ASSERT_EQ(::mknod(fake.path("/dev/ttyS0").c_str(), S_IFCHR | 0600, makedev(4, 40)), 0);
  ASSERT_EQ(::link(fake.path("/dev/ttyUSB0").c_str(), fake.path("/dev/ttyACM7").c_str()), 0);
  ASSERT_EQ(::link(fake.path("/dev/ttyUSB1").c_str(), fake.path("/ttyUSB1-elsewhere").c_str()), 0);
  const std::vector<std::string> used = {"--state=used", "--format=%c"};

  // ttyS0 as a container sees it under another name; ttyUSB0 through another link to its node.
  const ProcessResult renamed = runToolInFakeRoot(fake, used, {"ttyACM7=4:40", "/dev/ttyACM7"});
  EXPECT_EQ(renamed.out, "/dev/ttyS0\n/dev/ttyUSB0\nFound serial ports: 2\n");
  EXPECT_EQ(renamed.err, "");

  // A container's own ttyS0 is another device; a file outside /dev is never stat'ed, so the
  // other link to ttyUSB1's node does not count.
  const ProcessResult others =
      runToolInFakeRoot(fake, used, {"ttyS0=4:41", fake.path("/ttyUSB1-elsewhere")});
  EXPECT_EQ(others.out, "Found serial ports: 0\n");
  EXPECT_EQ(others.err, "");
}

TEST_F(NamespaceListing, FiltersAndFormsOnTheRealBinary) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string out;
  };
  const Row rows[] = {
      {"short",
       {"--list=short", "--no-counting"},
       "/dev/ttyS0\n/dev/ttyS1\n/dev/ttyS4\n/dev/ttyS5\n/dev/ttyS6\n/dev/ttyUSB0\n/dev/ttyUSB1\n"
       "/dev/ttyACM0\n"},
      {"vid and pid",
       {"--vid=0525", "--pid=a4a7", "-l", "short"},
       "/dev/ttyACM0\nFound serial ports: 1\n"},
      {"pid of a PCI UART",
       {"--pid=0003", "--format=%c"},
       "/dev/ttyS5\n/dev/ttyS6\nFound serial ports: 2\n"},
      {"vid with 0x prefix", {"--vid=0x0403"}, "Found serial ports: 0\n"},
      {"empty vid and format act as absent",
       {"--vid=", "--format=", "--list=short", "--pid="},
       "/dev/ttyS0\n/dev/ttyS1\n/dev/ttyS4\n/dev/ttyS5\n/dev/ttyS6\n/dev/ttyUSB0\n/dev/ttyUSB1\n"
       "/dev/ttyACM0\nFound serial ports: 8\n"},
      {"used with no holder", {"--state=used"}, "Found serial ports: 0\n"},
      {"format over short",
       {"--list=short", "--format=%n|%v|%d", "--vid=0403"},
       "1-0000:00:05.0-1| 2.00|ftdi_sio\nLAB-FTDI-0002| 2.00|ftdi_sio\nFound serial ports: 2\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ProcessResult result = runToolInFakeRoot(fake, row.args);
    EXPECT_EQ(result.out, row.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }
}

// Captured from an emulated Raspberry Pi 3 (Debian arm64, 6.12) with Bluetooth off: the mini
// UART ttyS1 is a device-tree platform device, ttyAMA0 the PL011 on the amba bus, and ttyS0,
// ttyS2 and ttyS3 are placeholders of the legacy serial8250 device.
TEST_F(NamespaceListing, RaspberryPiOnChipUartsWithTheirHolder) {
  FakeRoot fake;
  fake.unpackFixture("qemu-raspi3b-nobt-6.12");
  const Block miniUart = {
      "/dev/ttyS1",       ":", "", "UART", "of:NserialT(null)Cbrcm,bcm2835-aux-uart",
      "bcm2835-aux-uart", ""};
  const Block pl011 = {"/dev/ttyAMA0", ":", "", "UART", "00241011", "uart-pl011", ""};
  const ProcessResult result = runToolInFakeRoot(fake, {}, {"/dev/ttyAMA0"});
  EXPECT_EQ(result.out,
            longBlock(miniUart, false) + longBlock(pl011, true) + "Found serial ports: 2\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

// Captured from an emulated i.MX6Q SABRE Lite and a ZynqMP ZCU102 (Debian, 6.1): their UARTs
// are named after the driver, ttymxc and ttyPS; both boards have serial8250 placeholders too.
TEST_F(NamespaceListing, UartsNamedAfterTheirDriverWithTheirHolder) {
  FakeRoot sabreLite;
  sabreLite.unpackFixture("qemu-sabrelite-6.1");
  const ProcessResult imx = runToolInFakeRoot(sabreLite, {"--format=%c %d %s"}, {"/dev/ttymxc1"});
  EXPECT_EQ(imx.out,
            "/dev/ttymxc0 imx-uart free\n/dev/ttymxc1 imx-uart used\nFound serial ports: 2\n");
  EXPECT_EQ(imx.status, 0);

  FakeRoot zcu102;
  zcu102.unpackFixture("qemu-zcu102-6.1");
  const ProcessResult zynq = runToolInFakeRoot(zcu102, {"--list=short", "--state=free"});
  EXPECT_EQ(zynq.out, "/dev/ttyPS0\n/dev/ttyPS1\nFound serial ports: 2\n");
  EXPECT_EQ(zynq.err, "");
}

TEST_F(NamespaceListing, NoNodesNoOutput) {
  FakeRoot fake;
  fake.folder("/sys/class/tty");
  fake.folder("/dev");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"--state=used"}}) {
    const ProcessResult result = runToolInFakeRoot(fake, args);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }
}

TEST_F(NamespaceListing, HostileDeviceStringsAreEscaped) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  fake.file(std::string(kUsb0Device) + "/product", "Pwn\x1b[31mRED\n");
  fake.file(std::string(kUsb0Device) + "/serial", "LAB\nFAKE\r\n");
  fake.file(std::string(kUsb0Device) + "/manufacturer",
            "\xc2\x9b"
            "2J\xe6\x97\xa5\xe6\x9c\xac\n");

  const ProcessResult result = runToolInFakeRoot(fake, {});
  std::string expected;
  for (const Block& port : kQemuPorts) {
    Block shown = port;
    if (port.name == "/dev/ttyUSB0") {
      shown.product = "Pwn\\x1b[31mRED";
      shown.serial = "LAB\\x0aFAKE\\x0d";
      shown.vendor = "\\xc2\\x9b2J\xe6\x97\xa5\xe6\x9c\xac";
    }
    expected += longBlock(shown, false);
  }
  expected += "Found serial ports: 8\n";
  EXPECT_EQ(result.out, expected);
  // Every port still takes exactly its ten lines.
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 8 * 10 + 1);

  const ProcessResult line = runToolInFakeRoot(fake, {"--format=%p|%n", "--pid=6001"});
  EXPECT_EQ(line.out,
            "Pwn\\x1b[31mRED|LAB\\x0aFAKE\\x0d\nQEMU USB SERIAL|LAB-FTDI-0002\n"
            "Found serial ports: 2\n");
}

// A device's strings are judged one by one, so bytes of a broken sequence at the end of one and
// the start of the next must not join into a raw C1 control (9B is CSI) on the terminal.
TEST_F(NamespaceListing, FieldsSideBySideNeverJoinIntoAControl) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  fake.file(std::string(kAcm0Device) + "/manufacturer", "Lab\xc2\n");
  fake.file(std::string(kAcm0Device) + "/product",
            "\x9b"
            "31mSerial\n");

  const ProcessResult line = runToolInFakeRoot(fake, {"--format=%m%p", "--vid=0525"});
  EXPECT_EQ(line.out, "Lab\\xc2\\x9b31mSerial\nFound serial ports: 1\n");

  const ProcessResult block = runToolInFakeRoot(fake, {"--vid=0525"});
  Block shown = kQemuPorts[7];
  shown.vendor = "Lab\\xc2";
  shown.product = "\\x9b31mSerial";
  EXPECT_EQ(block.out, longBlock(shown, false) + "Found serial ports: 1\n");
}

// Option bytes must reach the format and the filters unchanged whatever the locale variables
// say; wxWidgets on its own would read them as Latin-1 under C and POSIX.
TEST_F(NamespaceListing, OptionBytesSurviveEveryLocaleEnvironment) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  // A vendor id with UTF-8 text, so that the --vid filter shows whether its bytes arrived.
  fake.file(std::string(kAcm0Device) + "/idVendor", "\xc3\xa9\xe2\x86\x92\n");

  std::vector<std::vector<std::string>> settings = {{},
                                                    {"LANG=C"},
                                                    {"LC_ALL=C"},
                                                    {"LC_ALL=POSIX"},
                                                    {"LANG=POSIX"},
                                                    {"LC_ALL=C.UTF-8"},
                                                    {"LANG=C.UTF-8"}};
  if (locale_t english = ::newlocale(LC_ALL_MASK, "en_US.UTF-8", nullptr)) {
    ::freelocale(english);
    settings.push_back({"LANG=en_US.UTF-8"});
    settings.push_back({"LC_ALL=en_US.UTF-8"});
  }
  for (const std::vector<std::string>& setting : settings) {
    SCOPED_TRACE(setting.empty() ? "no locale variable" : setting[0]);
    const auto environment = environmentWithoutLocale(setting);

    const ProcessResult arrow =
        runToolInFakeRoot(fake, {"--format=%c \xe2\x86\x92 %s", "--pid=6001"}, {}, environment);
    EXPECT_EQ(arrow.out,
              "/dev/ttyUSB0 \xe2\x86\x92 free\n/dev/ttyUSB1 \xe2\x86\x92 free\n"
              "Found serial ports: 2\n");
    EXPECT_EQ(arrow.err, "");

    const ProcessResult vid =
        runToolInFakeRoot(fake, {"--vid=\xc3\xa9\xe2\x86\x92", "--format=%u %c"}, {}, environment);
    EXPECT_EQ(vid.out, "\xc3\xa9\xe2\x86\x92:a4a7 /dev/ttyACM0\nFound serial ports: 1\n");

    // Bytes that are not UTF-8 come through unchanged too, without a warning.
    const ProcessResult invalid =
        runToolInFakeRoot(fake, {"--format=\xff\xe9%c", "--pid=a4a7"}, {}, environment);
    EXPECT_EQ(invalid.out, "\xff\xe9/dev/ttyACM0\nFound serial ports: 1\n");
    EXPECT_EQ(invalid.err, "");
  }
}

// Every entry below `folder`, as "path type" lines in byte order.
std::string treeEntries(const std::string& folder) {
  std::string command = "cd '" + folder + "' && find . -printf '%p %y\\n' | LC_ALL=C sort";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char buffer[4096];
  while (pipe != nullptr && ::fgets(buffer, sizeof buffer, pipe) != nullptr)
    text += buffer;
  if (pipe != nullptr)
    ::pclose(pipe);
  return text;
}

// The helper binds the tree and holds nodes in it, and leaves nothing behind in it.
TEST_F(NamespaceListing, TheHelperLeavesTheTreeAsItFoundIt) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  const std::string before = treeEntries(fake.folder());
  ASSERT_NE(before, "");
  const ProcessResult result = runInFakeRoot(fake, {"/bin/true"}, {"/dev/ttyUSB0"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(treeEntries(fake.folder()) == before);
}

}  // namespace
}  // namespace ttyenum::testing
