#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/file_system_root.h"

namespace ttyenum {

// The kernel's module index in one module folder (such as /lib/modules/6.1.0-13-amd64), read
// through libkmod as module loaders read it. Neither the library nor the index is opened before
// the first lookup; without the library the index counts as unreadable.
class ModuleIndex {
 public:
  // `moduleFolder` and `configFolders` (the modprobe.d folders whose aliases count) are real
  // paths; an empty list of config folders reads none.
  explicit ModuleIndex(std::string moduleFolder, std::vector<std::string> configFolders = {});
  ~ModuleIndex();
  ModuleIndex(const ModuleIndex&) = delete;
  ModuleIndex& operator=(const ModuleIndex&) = delete;

  // The serial drivers that `modalias` resolves to, each once, in the index's order: cdc_acm,
  // and modules whose file lies under kernel/drivers/usb/serial/ of the folder (for a built-in
  // module, its line in modules.builtin). Empty when none does or the index cannot be read.
  std::vector<std::string> serialModulesFor(const std::string& modalias);

  // False once a lookup has found the index unreadable (its files missing or damaged).
  bool readable() const { return !failed_; }

 private:
  bool load();
  bool isSerialDriver(const std::string& module, const char* modulePath);

  std::string folder_;
  std::vector<std::string> configFolders_;
  struct Context;
  std::unique_ptr<Context> context_;
  bool failed_ = false;
  std::vector<std::string> builtinFiles_;  // modules.builtin, read when a module is built in
  bool builtinRead_ = false;
};

// The index of the running kernel under `root`: its /lib/modules/<release> folder, with the
// root's modprobe.d folders.
std::unique_ptr<ModuleIndex> runningKernelIndex(const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
