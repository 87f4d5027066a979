// --missing and the hint of the built binary, in a private namespace over the captured Debian 12
// tree (kernel 6.1), with interfaces unbound by hand, hand-built devices beside them and a
// module index of the test's own standing for /lib/modules.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "blackbox/tool_run.h"
#include "support/module_folder.h"
#include "support/sysfs_tree.h"

namespace ttyenum::testing {
namespace {

using MissingListing = FakeRootRun;

// What the captured tree is given, as bits; 0 is the tree as captured, with an index.
enum Tree : unsigned {
  kNoIndex = 1,       // an empty /lib/modules
  kFtdiUnbound = 2,   // ttyUSB0's interface unbound
  kAcmUnbound = 4,    // ttyACM0's interface unbound
  kCh340Claimed = 8,  // a CH340 bound to usbfs, its /dev/bus/usb node held by a process
};

// Unbinds an interface as `echo … > unbind` does: no driver link, and its tty gone.
void unbind(FakeRoot& fake, const std::string& interface, const std::string& node,
            const std::string& ttyFolder) {
  for (const std::string& path : {interface + "/driver", interface + "/" + ttyFolder,
                                  "/sys/class/tty/" + node, "/dev/" + node})
    std::filesystem::remove_all(fake.path(path));
}

void build(FakeRoot& fake, unsigned tree) {
  fake.unpackFixture("qemu-debian12-6.1");
  if (tree & kNoIndex)
    fake.folder("/lib/modules");
  else
    buildModuleFolder(fake, runningRelease(), kUsbTestModules);
  if (tree & kFtdiUnbound)
    unbind(fake, std::string(kQemuUsbBus) + "1-1/1-1:1.0", "ttyUSB0", "ttyUSB0");
  if (tree & kAcmUnbound)
    unbind(fake, "/sys/devices/platform/dummy_hcd.0/usb3/3-1/3-1:2.0", "ttyACM0", "tty");
  if (tree & kCh340Claimed) {
    usbDeviceAt(fake, "1-4", 9, "1a86", "7523", "USB\x1bSerial");
    usbInterfaceAt(fake, "1-4", 0, "usb:v1A86p7523d0254dcFFdsc00dp00icFFisc01ip02in00", "ff/01/02",
                   "usbfs");
  }
}

TEST_F(MissingListing, EachReasonInTextAndJson) {
  const struct {
    const char* what;
    unsigned tree;
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } rows[] = {
      {"every adapter has its port", 0, {"--missing", "--list=short"}, "", ""},
      {"none, in JSON", 0, {"--missing", "--json"}, "{\"missing\": []}\n", ""},
      {"unbound, claimed, by name; the port filters do not apply",
       kFtdiUnbound | kAcmUnbound | kCh340Claimed,
       {"--missing", "--no-counting", "--vid=ffff", "-s", "used"},
       "1-1:1.0\t0403:6001\tQEMU USB SERIAL\tno driver bound; ftdi_sio is not loaded (modprobe "
       "ftdi_sio)\n"
       "1-4:1.0\t1a86:7523\tUSB\\x1bSerial\tclaimed by a program through usbfs: sleep (pid N)\n"
       "3-1:2.0\t0525:a4a7\tGadget Serial v2.4\tno driver bound; cdc_acm is not loaded "
       "(modprobe cdc_acm)\n",
       ""},
      {"no index: the class rule alone",
       kNoIndex | kFtdiUnbound | kAcmUnbound,
       {"--missing"},
       "3-1:2.0\t0525:a4a7\tGadget Serial v2.4\tno driver bound\n",
       "ttyenum: cannot read the kernel's module index; only CDC ACM interfaces are checked\n"},
      {"unbound and claimed, in JSON",
       kFtdiUnbound | kCh340Claimed,
       {"-J", "--missing"},
       R"j({"missing": [{"interface": "1-1:1.0", "usbLocation": "1-1", "usbInterface": 0, )j"
       R"j("vendorId": "0403", "productId": "6001", "manufacturer": "QEMU", "product": "QEMU USB )j"
       R"j(SERIAL", "serialNumber": "1-0000:00:05.0-1", "driver": null, "modules": ["ftdi_sio"], )j"
       R"j("reason": "no driver bound; ftdi_sio is not loaded (modprobe ftdi_sio)", "claimedBy": )j"
       R"j(null}, {"interface": "1-4:1.0", "usbLocation": "1-4", "usbInterface": 0, "vendorId": )j"
       R"j("1a86", "productId": "7523", "manufacturer": "Maker", "product": "USB\u001bSerial", )j"
       R"j("serialNumber": "S9", "driver": "usbfs", "modules": ["ch341"], "reason": "claimed by )j"
       R"j(a program through usbfs: sleep (pid N)", "claimedBy": {"pid": N, "command": )j"
       R"j("sleep"}}]})j"
       "\n",
       ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    FakeRoot fake;
    build(fake, row.tree);
    std::vector<std::string> held;
    if (row.tree & kCh340Claimed)
      held.push_back("/dev/bus/usb/001/009");
    const ProcessResult result = runToolInFakeRoot(fake, row.args, held);
    EXPECT_EQ(std::regex_replace(result.out, std::regex("(pid\"?:? )[0-9]+"), "$1N"), row.out);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.status, 0);
  }
}

// The hint goes to standard error in the long form alone, filters or not, and leaves standard
// output as it is without it: the same tree without an index has no interface that counts.
TEST_F(MissingListing, HintOnlyInTheLongFormAndNeverOnStandardOutput) {
  FakeRoot withHint;
  build(withHint, kFtdiUnbound);
  FakeRoot without;
  build(without, kFtdiUnbound | kNoIndex);
  const struct {
    std::vector<std::string> args;
    bool hint;
  } rows[] = {
      {{}, true},
      {{"--list=long", "--vid=ffff"}, true},
      {{"-l", "short"}, false},
      {{"--format=%c"}, false},
      {{"--json"}, false},
      {{"--prometheus"}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.empty() ? "no options" : row.args[0]);
    const ProcessResult hinted = runToolInFakeRoot(withHint, row.args);
    const ProcessResult plain = runToolInFakeRoot(without, row.args);
    EXPECT_EQ(hinted.out, plain.out);
    EXPECT_EQ(hinted.err, row.hint ? "ttyenum: 1 USB serial interface(s) without a port; see "
                                     "ttyenum --missing\n"
                                   : "");
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(hinted.status, 0);
  }
}

}  // namespace
}  // namespace ttyenum::testing
