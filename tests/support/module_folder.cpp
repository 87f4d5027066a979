#include "support/module_folder.h"

#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>

#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace ttyenum::testing {

namespace {

// Runs a program found in PATH or in /usr/sbin and /sbin (where depmod lives); throws unless
// it exits with status 0.
void run(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& word : command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  for (const std::string prefix : {"", "/usr/sbin/", "/sbin/"}) {
    const std::string program = prefix + command[0];
    if (!prefix.empty() && !std::filesystem::exists(program))
      continue;
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
      continue;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
      return;
    throw std::runtime_error(command[0] + " failed");
  }
  throw std::runtime_error("cannot run " + command[0]);
}

std::string moduleName(const std::string& file) {
  std::string name = std::filesystem::path(file).filename().string();
  return name.substr(0, name.find(".ko"));
}

}  // namespace

const std::vector<TestModule> kUsbTestModules = {
    {"kernel/drivers/usb/serial/ftdi_sio.ko", {"usb:v0403p6001d*dc*dsc*dp*ic*isc*ip*in*"}},
    {"kernel/drivers/usb/serial/ch341.ko", {"usb:v1A86p7523d*dc*dsc*dp*ic*isc*ip*in*"}, true},
    {"kernel/drivers/usb/serial/qcserial.ko", {"usb:v05C6p9001d*dc*dsc*dp*ic*isc*ip*in*"}},
    {"kernel/drivers/usb/serial/option.ko", {"usb:v05C6p9001d*dc*dsc*dp*ic*isc*ip*in*"}},
    {"kernel/drivers/usb/class/cdc-acm.ko", {"usb:v*p*d*dc*dsc*dp*ic02isc02ip01in*"}},
    {"kernel/drivers/hid/usbhid/usbhid.ko", {"usb:v*p*d*dc*dsc*dp*ic03isc*ip*in*"}},
    {"kernel/drivers/usb/storage/usb-storage.ko", {"usb:v*p*d*dc*dsc*dp*ic08isc06ip50in*"}},
};

std::string buildModuleFolder(FakeRoot& fake, const std::string& release,
                              const std::vector<TestModule>& modules) {
  const std::string folder = "/lib/modules/" + release;
  std::string order;
  std::string builtin;
  std::string builtinInfo;
  for (const TestModule& module : modules) {
    std::string modinfo = "name=" + moduleName(module.file) + '\0';
    for (const std::string& alias : module.aliases)
      modinfo += "alias=" + alias + '\0';
    if (module.builtIn) {
      builtin += module.file + "\n";
      for (const std::string& alias : module.aliases)
        builtinInfo += moduleName(module.file) + ".alias=" + alias + '\0';
      continue;
    }
    order += module.file + "\n";
    fake.file("/modinfo.bin", modinfo);
    fake.folder(std::filesystem::path(folder + "/" + module.file).parent_path().string());
    run({"objcopy", "-I", "binary", "-O", "elf64-little", "--rename-section", ".data=.modinfo",
         fake.path("/modinfo.bin"), fake.path(folder + "/" + module.file)});
  }
  fake.file(folder + "/modules.order", order);
  fake.file(folder + "/modules.builtin", builtin);
  fake.file(folder + "/modules.builtin.modinfo", builtinInfo);
  run({"depmod", "-b", fake.folder(), release});
  return fake.path(folder);
}

std::string runningRelease() {
  utsname system{};
  ::uname(&system);
  return system.release;
}

}  // namespace ttyenum::testing
