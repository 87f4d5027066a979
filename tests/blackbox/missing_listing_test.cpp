// --missing and the hint of the built binary, in a private namespace over the captured Debian 12
// tree (kernel 6.1), with interfaces unbound by hand, hand-built devices beside them and a
// module index of the test's own standing for /lib/modules.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include <nlohmann/json.hpp>

#include "blackbox/tool_run.h"
#include "support/module_folder.h"
#include "support/sysfs_tree.h"

namespace ttyenum::testing {
namespace {

using Json = nlohmann::ordered_json;
using MissingListing = FakeRootRun;

const char kFixture[] = "qemu-debian12-6.1";
const char kFtdiInterface[] = "/sys/devices/pci0000:00/0000:00:05.0/usb1/1-1/1-1:1.0";
const char kAcmInterface[] = "/sys/devices/platform/dummy_hcd.0/usb3/3-1/3-1:2.0";
const char kCh340[] = "usb:v1A86p7523d0254dcFFdsc00dp00icFFisc01ip02in00";
const char kNoIndex[] =
    "ttyenum: cannot read the kernel's module index; only CDC ACM interfaces are checked\n";
const char kHint[] = "ttyenum: 1 USB serial interface(s) without a port; see ttyenum --missing\n";

const std::vector<TestModule> kModules = {
    {"kernel/drivers/usb/serial/ftdi_sio.ko", {"usb:v0403p6001d*dc*dsc*dp*ic*isc*ip*in*"}},
    {"kernel/drivers/usb/serial/ch341.ko", {"usb:v1A86p7523d*dc*dsc*dp*ic*isc*ip*in*"}, true},
    {"kernel/drivers/usb/class/cdc-acm.ko", {"usb:v*p*d*dc*dsc*dp*ic02isc02ip01in*"}},
    {"kernel/drivers/hid/usbhid/usbhid.ko", {"usb:v*p*d*dc*dsc*dp*ic03isc*ip*in*"}},
    {"kernel/drivers/usb/storage/usb-storage.ko", {"usb:v*p*d*dc*dsc*dp*ic08isc06ip50in*"}},
};

// Unbinds an interface as `echo … > unbind` does: no driver link, and its tty gone.
void unbind(FakeRoot& fake, const std::string& interface, const std::string& node,
            const std::string& ttyFolder) {
  std::filesystem::remove(fake.path(interface + "/driver"));
  std::filesystem::remove_all(fake.path(interface + "/" + ttyFolder));
  std::filesystem::remove(fake.path("/sys/class/tty/" + node));
  std::filesystem::remove(fake.path("/dev/" + node));
}

struct Tree {
  bool index = true;  // else an empty /lib/modules: no index
  bool ftdiUnbound = false;
  bool ftdiLoaded = false;
  bool acmUnbound = false;
  bool others = false;  // a hub, an HID and a mass-storage interface, none a serial one
  bool ch340Claimed = false;
};

void build(FakeRoot& fake, const Tree& tree) {
  fake.unpackFixture(kFixture);
  if (tree.index)
    buildModuleFolder(fake, runningRelease(), kModules);
  else
    fake.folder("/lib/modules");
  if (tree.ftdiUnbound)
    unbind(fake, kFtdiInterface, "ttyUSB0", "ttyUSB0");
  if (tree.ftdiLoaded)
    fake.folder("/sys/module/ftdi_sio");
  if (tree.acmUnbound)
    unbind(fake, kAcmInterface, "ttyACM0", "tty");
  if (tree.others) {
    usbDeviceAt(fake, "1-5", 6, "05e3", "0610", "USB2.0 Hub");
    usbInterfaceAt(fake, "1-5", 0, "usb:v05E3p0610d9226dc09dsc00dp02ic09isc00ip02in00", "09/00/02",
                   "hub");
    usbDeviceAt(fake, "1-6", 7, "046d", "c52b", "USB Receiver");
    usbInterfaceAt(fake, "1-6", 0, "usb:v046DpC52Bd1201dc00dsc00dp00ic03isc01ip02in00", "03/01/02",
                   "");
    usbDeviceAt(fake, "1-7", 8, "0781", "5567", "Cruzer Blade");
    usbInterfaceAt(fake, "1-7", 0, "usb:v0781p5567d0100dc00dsc00dp00ic08isc06ip50in00", "08/06/50",
                   "");
  }
  if (tree.ch340Claimed) {
    usbDeviceAt(fake, "1-4", 9, "1a86", "7523", "USB\x1bSerial");
    usbInterfaceAt(fake, "1-4", 0, kCh340, "ff/01/02", "usbfs");
  }
}

TEST_F(MissingListing, EachReasonInTheTextForm) {
  struct Row {
    const char* what;
    Tree tree;
    std::vector<std::string> args;
    std::string out;
    std::string err;
  };
  Tree ftdiLoaded;
  ftdiLoaded.ftdiUnbound = ftdiLoaded.ftdiLoaded = true;
  Tree ftdiNotLoaded;
  ftdiNotLoaded.ftdiUnbound = ftdiNotLoaded.acmUnbound = true;
  Tree acmWithoutIndex;
  acmWithoutIndex.index = false;
  acmWithoutIndex.ftdiUnbound = acmWithoutIndex.acmUnbound = true;
  Tree others;
  others.others = true;
  const Row rows[] = {
      {"every adapter has its port", Tree(), {"--missing"}, "", ""},
      {"other interfaces without a driver", others, {"--missing", "--list=short"}, "", ""},
      {"unbound, module loaded",
       ftdiLoaded,
       {"--missing", "--no-counting", "--vid=ffff", "-s", "used"},
       "1-1:1.0\t0403:6001\tQEMU USB SERIAL\tno driver bound; ftdi_sio is loaded\n",
       ""},
      {"unbound, modules not loaded",
       ftdiNotLoaded,
       {"--missing"},
       "1-1:1.0\t0403:6001\tQEMU USB SERIAL\tno driver bound; ftdi_sio is not loaded (modprobe "
       "ftdi_sio)\n"
       "3-1:2.0\t0525:a4a7\tGadget Serial v2.4\tno driver bound; cdc_acm is not loaded (modprobe "
       "cdc_acm)\n",
       ""},
      {"no index: the class rule alone",
       acmWithoutIndex,
       {"--missing"},
       "3-1:2.0\t0525:a4a7\tGadget Serial v2.4\tno driver bound\n",
       kNoIndex},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeRoot fake;
    build(fake, row.tree);
    const ProcessResult result = runToolInFakeRoot(fake, row.args);
    EXPECT_EQ(result.out, row.out);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.status, 0);
  }
}

TEST_F(MissingListing, ClaimedThroughUsbfsWithTheClaimerInTextAndJson) {
  Tree tree;
  tree.ch340Claimed = tree.ftdiUnbound = true;
  FakeRoot fake;
  build(fake, tree);
  const std::vector<std::string> held = {"/dev/bus/usb/001/009"};

  const ProcessResult text = runToolInFakeRoot(fake, {"--missing"}, held);
  EXPECT_EQ(std::regex_replace(text.out, std::regex("pid [0-9]+"), "pid N"),
            "1-1:1.0\t0403:6001\tQEMU USB SERIAL\tno driver bound; ftdi_sio is not loaded "
            "(modprobe ftdi_sio)\n"
            "1-4:1.0\t1a86:7523\tUSB\\x1bSerial\tclaimed by a program through usbfs: sleep (pid "
            "N)\n");
  EXPECT_EQ(text.err, "");

  const ProcessResult json = runToolInFakeRoot(fake, {"-J", "--missing"}, held);
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out.find('\x1b'), std::string::npos);
  const Json missing = Json::parse(json.out).at("missing");
  ASSERT_EQ(missing.size(), 2u) << json.out;
  const int pid = missing[1]["claimedBy"]["pid"].get<int>();
  EXPECT_GT(pid, 0);
  std::string expected = R"json({"interface": "1-4:1.0", "usbLocation": "1-4",
    "usbInterface": 0, "vendorId": "1a86", "productId": "7523", "manufacturer": "Maker",
    "product": "USB\u001bSerial", "serialNumber": "S9", "driver": "usbfs", "modules": ["ch341"],
    "reason": "claimed by a program through usbfs: sleep (pid PID)",
    "claimedBy": {"pid": PID, "command": "sleep"}})json";
  expected = std::regex_replace(expected, std::regex("PID"), std::to_string(pid));
  EXPECT_EQ(missing[1], Json::parse(expected));
  EXPECT_EQ(missing[0]["driver"], nullptr);
  EXPECT_EQ(missing[0]["claimedBy"], nullptr);
  EXPECT_EQ(missing[0]["modules"], Json::parse(R"(["ftdi_sio"])"));

  // Without the holder, the claim is still seen, the claimer not.
  const ProcessResult unseen = runToolInFakeRoot(fake, {"--missing", "--vid=1a86"});
  EXPECT_EQ(unseen.out.substr(unseen.out.find('\n') + 1),
            "1-4:1.0\t1a86:7523\tUSB\\x1bSerial\tclaimed by a program through usbfs (run as root "
            "to see which)\n");
}

TEST_F(MissingListing, EmptyJsonDocument) {
  FakeRoot fake;
  build(fake, Tree());
  const ProcessResult result = runToolInFakeRoot(fake, {"--missing", "--json"});
  EXPECT_EQ(result.out, "{\"missing\": []}\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

// The hint goes to standard error in the long form alone, filters or not, and leaves standard
// output as it is without it: the same tree without an index has no interface that counts.
TEST_F(MissingListing, HintOnlyInTheLongFormAndNeverOnStandardOutput) {
  Tree counted;
  counted.ftdiUnbound = true;
  Tree uncounted = counted;
  uncounted.index = false;
  FakeRoot withHint;
  build(withHint, counted);
  FakeRoot without;
  build(without, uncounted);
  struct Row {
    std::vector<std::string> args;
    bool hint;
  };
  const Row rows[] = {
      {{}, true},
      {{"--list=long", "--no-counting"}, true},
      {{"--vid=ffff"}, true},
      {{"--list=short"}, false},
      {{"--format=%c"}, false},
      {{"--json"}, false},
      {{"--prometheus"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.empty() ? "no options" : row.args[0]);
    const ProcessResult hinted = runToolInFakeRoot(withHint, row.args);
    const ProcessResult plain = runToolInFakeRoot(without, row.args);
    EXPECT_EQ(hinted.out, plain.out);
    EXPECT_EQ(hinted.err, row.hint ? kHint : "");
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(hinted.status, 0);
  }
}

}  // namespace
}  // namespace ttyenum::testing
