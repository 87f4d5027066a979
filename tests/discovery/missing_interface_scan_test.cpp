#include "discovery/missing_interface_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_root.h"
#include "support/module_folder.h"
#include "support/sysfs_tree.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;
using testing::TestModule;

constexpr char kFtdi[] = "usb:v0403p6001d0600dc00dsc00dp00icFFiscFFipFFin00";
constexpr char kCh340[] = "usb:v1A86p7523d0254dcFFdsc00dp00icFFisc01ip02in00";
constexpr char kQualcomm[] = "usb:v05C6p9001d0000dc00dsc00dp00icFFiscFFipFFin00";
constexpr char kAcm[] = "usb:v2E8Ap000Ad0100dcEFdsc02dp01ic02isc02ip01in00";
constexpr char kHid[] = "usb:v046DpC52Bd1201dc00dsc00dp00ic03isc01ip02in00";
constexpr char kStorage[] = "usb:v0781p5567d0100dc00dsc00dp00ic08isc06ip50in00";

// A module folder of the test's own: loadable and built-in serial drivers, two serial drivers
// for one id, cdc-acm (named with a dash), and drivers for other classes.
const std::vector<TestModule> kModules = {
    {"kernel/drivers/usb/serial/ftdi_sio.ko", {"usb:v0403p6001d*dc*dsc*dp*ic*isc*ip*in*"}},
    {"kernel/drivers/usb/serial/ch341.ko", {"usb:v1A86p7523d*dc*dsc*dp*ic*isc*ip*in*"}, true},
    {"kernel/drivers/usb/serial/qcserial.ko", {"usb:v05C6p9001d*dc*dsc*dp*ic*isc*ip*in*"}},
    {"kernel/drivers/usb/serial/option.ko", {"usb:v05C6p9001d*dc*dsc*dp*ic*isc*ip*in*"}},
    {"kernel/drivers/usb/class/cdc-acm.ko", {"usb:v*p*d*dc*dsc*dp*ic02isc02ip01in*"}},
    {"kernel/drivers/hid/usbhid/usbhid.ko", {"usb:v*p*d*dc*dsc*dp*ic03isc*ip*in*"}},
    {"kernel/drivers/usb/storage/usb-storage.ko", {"usb:v*p*d*dc*dsc*dp*ic08isc06ip50in*"}},
};

// Modules, then the reason; "-" when the interface does not count.
std::string describe(const MissingListing& listing) {
  if (listing.interfaces.empty())
    return "-";
  std::string text;
  for (const MissingInterface& interface : listing.interfaces) {
    for (const std::string& module : interface.modules)
      text += module + " ";
    text += "| " + missingReasonText(interface);
  }
  return text;
}

class MissingInterfaceScan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    modules_ = new FakeRoot();
    folder_ = testing::buildModuleFolder(*modules_, "6.1.0-test", kModules);
  }
  static void TearDownTestSuite() { delete modules_; }

  static FakeRoot* modules_;
  static std::string folder_;
};
FakeRoot* MissingInterfaceScan::modules_ = nullptr;
std::string MissingInterfaceScan::folder_;

TEST_F(MissingInterfaceScan, CountsSerialInterfacesWithoutAPortAndSaysWhy) {
  struct Case {
    const char* what;
    const char* modalias;
    const char* classes;
    const char* driver;
    std::vector<std::string> loaded;  // present in /sys/module
    bool index;                       // false: the folder holds no index
    const char* expected;
  };
  const Case cases[] = {
      {"FTDI unbound, module loaded",
       kFtdi,
       "ff/ff/ff",
       "",
       {"ftdi_sio"},
       true,
       "ftdi_sio | no driver bound; ftdi_sio is loaded"},
      {"FTDI unbound, module not loaded",
       kFtdi,
       "ff/ff/ff",
       "",
       {},
       true,
       "ftdi_sio | no driver bound; ftdi_sio is not loaded (modprobe ftdi_sio)"},
      {"FTDI with its driver", kFtdi, "ff/ff/ff", "ftdi_sio", {}, true, "-"},
      {"CH340 built in, claimed by nobody seen",
       kCh340,
       "ff/01/02",
       "usbfs",
       {},
       true,
       "ch341 | claimed by a program through usbfs (run as root to see which)"},
      {"two serial drivers, none loaded",
       kQualcomm,
       "ff/ff/ff",
       "",
       {},
       true,
       "qcserial option | no driver bound; qcserial is not loaded (modprobe qcserial)"},
      {"two serial drivers, the first loaded",
       kQualcomm,
       "ff/ff/ff",
       "",
       {"qcserial"},
       true,
       "qcserial option | no driver bound; option is not loaded (modprobe option)"},
      {"two serial drivers, both loaded",
       kQualcomm,
       "ff/ff/ff",
       "",
       {"qcserial", "option"},
       true,
       "qcserial option | no driver bound; qcserial is loaded"},
      {"CDC ACM without a driver",
       kAcm,
       "02/02/01",
       "",
       {},
       true,
       "cdc_acm | no driver bound; cdc_acm is not loaded (modprobe cdc_acm)"},
      {"CDC ACM, no index", kAcm, "02/02/01", "", {}, false, "| no driver bound"},
      {"CDC ACM bound to usbfs, no index",
       kAcm,
       "02/02/00",
       "usbfs",
       {},
       false,
       "| claimed by a program through usbfs (run as root to see which)"},
      {"RNDIS, no index", kAcm, "02/02/ff", "", {}, false, "-"},
      {"FTDI, no index", kFtdi, "ff/ff/ff", "", {}, false, "-"},
      {"HID without a driver", kHid, "03/01/02", "", {}, true, "-"},
      {"mass storage without a driver", kStorage, "08/06/50", "", {}, true, "-"},
      {"mass storage bound to usbfs", kStorage, "08/06/50", "usbfs", {}, true, "-"},
      {"hub with its driver",
       "usb:v05E3p0610d9226dc09dsc00dp02ic09isc00ip02in00",
       "09/00/02",
       "hub",
       {},
       true,
       "-"},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.what);
    FakeRoot fake;
    testing::usbDeviceAt(fake, "1-2", 5, "0403", "6001", "Adapter");
    testing::usbInterfaceAt(fake, "1-2", 0, row.modalias, row.classes, row.driver);
    for (const std::string& module : row.loaded)
      fake.folder("/sys/module/" + module);
    ModuleIndex index(row.index ? folder_ : fake.path("/lib/modules/none"));
    const MissingListing listing = findMissingInterfaces(index, MissingDetail::kFull, fake.root());
    EXPECT_EQ(describe(listing), row.expected);
    EXPECT_EQ(listing.indexUnreadable, !row.index);
    EXPECT_EQ(findMissingInterfaces(index, MissingDetail::kNames, fake.root()).interfaces.size(),
              listing.interfaces.size());
  }
}

}  // namespace
}  // namespace ttyenum
