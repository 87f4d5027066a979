#pragma once

#include <string>
#include <vector>

#include "support/fake_root.h"

namespace ttyenum::testing {

// A kernel module for a module folder of the test's own: its file below the folder (such as
// kernel/drivers/usb/serial/ftdi_sio.ko) and the aliases in its .modinfo section.
struct TestModule {
  std::string file;
  std::vector<std::string> aliases;
  bool builtIn = false;  // listed in modules.builtin and modules.builtin.modinfo instead
};

// Builds /lib/modules/<release> in the fake root from `modules`, as the kernel's build does:
// a tiny ELF object with a .modinfo section per loadable module, then the real depmod over them.
// Returns the folder's real path. Throws when objcopy or depmod cannot be run.
std::string buildModuleFolder(FakeRoot& fake, const std::string& release,
                              const std::vector<TestModule>& modules);

// Serial drivers (ftdi_sio; ch341 built in; qcserial and option for one id; cdc-acm, named with a
// dash) and drivers of other classes (usbhid, usb-storage), for the --missing tests.
extern const std::vector<TestModule> kUsbTestModules;

// The running kernel's release, as uname gives it.
std::string runningRelease();

}  // namespace ttyenum::testing
