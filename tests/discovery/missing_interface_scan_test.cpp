#include "discovery/missing_interface_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_root.h"
#include "support/module_folder.h"
#include "support/sysfs_tree.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;
using testing::kUsbTestModules;

// An interface's modalias and its class triple.
struct Interface {
  const char* modalias;
  const char* classes;
};
constexpr Interface kFtdi{"usb:v0403p6001d0600dc00dsc00dp00icFFiscFFipFFin00", "ff/ff/ff"};
constexpr Interface kCh340{"usb:v1A86p7523d0254dcFFdsc00dp00icFFisc01ip02in00", "ff/01/02"};
constexpr Interface kQualcomm{"usb:v05C6p9001d0000dc00dsc00dp00icFFiscFFipFFin00", "ff/ff/ff"};
constexpr Interface kAcm{"usb:v2E8Ap000Ad0100dcEFdsc02dp01ic02isc02ip01in00", "02/02/01"};
constexpr Interface kAcmProtocol0{"usb:v2E8Ap000Ad0100dcEFdsc02dp01ic02isc02ip00in00", "02/02/00"};
constexpr Interface kRndis{"usb:v2E8Ap000Ad0100dcEFdsc02dp01ic02isc02ipFFin00", "02/02/ff"};
constexpr Interface kStorage{"usb:v0781p5567d0100dc00dsc00dp00ic08isc06ip50in00", "08/06/50"};

// "no index: " when the index was unreadable, then modules and reason; "-" when nothing counts.
std::string describe(const MissingListing& listing) {
  std::string text = listing.indexUnreadable ? "no index: " : "";
  for (const MissingInterface& interface : listing.interfaces) {
    for (const std::string& module : interface.modules)
      text += module + " ";
    text += "| " + missingReasonText(interface);
  }
  return listing.interfaces.empty() ? text + "-" : text;
}

TEST(MissingInterfaceScan, CountsSerialInterfacesWithoutAPortAndSaysWhy) {
  FakeRoot modules;
  const std::string folder = testing::buildModuleFolder(modules, "6.1.0-test", kUsbTestModules);
  const struct {
    const char* what;
    Interface interface;
    const char* driver;
    const char* loaded;  // a folder in /sys/module, or empty
    const char* also;    // and a second one
    bool index;          // false: the folder holds no index
    const char* expected;
  } rows[] = {
      {"FTDI unbound, module loaded", kFtdi, "", "ftdi_sio", "", true,
       "ftdi_sio | no driver bound; ftdi_sio is loaded"},
      {"FTDI unbound, module not loaded", kFtdi, "", "", "", true,
       "ftdi_sio | no driver bound; ftdi_sio is not loaded (modprobe ftdi_sio)"},
      {"FTDI with its driver", kFtdi, "ftdi_sio", "", "", true, "-"},
      {"CH340 built in, claimed by nobody seen", kCh340, "usbfs", "", "", true,
       "ch341 | claimed by a program through usbfs (run as root to see which)"},
      {"two serial drivers, the first loaded", kQualcomm, "", "qcserial", "", true,
       "qcserial option | no driver bound; option is not loaded (modprobe option)"},
      {"two serial drivers, both loaded", kQualcomm, "", "option", "qcserial", true,
       "qcserial option | no driver bound; qcserial is loaded"},
      {"CDC ACM without a driver", kAcm, "", "", "", true,
       "cdc_acm | no driver bound; cdc_acm is not loaded (modprobe cdc_acm)"},
      {"CDC ACM, no index", kAcm, "", "", "", false, "no index: | no driver bound"},
      {"CDC ACM bound to usbfs, no index", kAcmProtocol0, "usbfs", "", "", false,
       "no index: | claimed by a program through usbfs (run as root to see which)"},
      {"RNDIS, no index", kRndis, "", "", "", false, "no index: -"},
      {"FTDI, no index", kFtdi, "", "", "", false, "no index: -"},
      {"mass storage without a driver", kStorage, "", "", "", true, "-"},
      {"mass storage bound to usbfs", kStorage, "usbfs", "", "", true, "-"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    FakeRoot fake;
    testing::usbDeviceAt(fake, "1-2", 5, "0403", "6001", "Adapter");
    testing::usbInterfaceAt(fake, "1-2", 0, row.interface.modalias, row.interface.classes,
                            row.driver);
    for (const std::string module : {row.loaded, row.also}) {
      if (!module.empty())
        fake.folder("/sys/module/" + module);
    }
    ModuleIndex index(row.index ? folder : fake.path("/lib/modules/none"));
    const MissingListing listing = findMissingInterfaces(index, MissingDetail::kFull, fake.root());
    EXPECT_EQ(describe(listing), row.expected);
    EXPECT_EQ(findMissingInterfaces(index, MissingDetail::kNames, fake.root()).interfaces.size(),
              listing.interfaces.size());
  }
}

}  // namespace
}  // namespace ttyenum
