#include "discovery/module_index.h"

#include <libkmod.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdarg>
#include <fstream>
#include <utility>

namespace ttyenum {

namespace {

constexpr char kSerialFolder[] = "kernel/drivers/usb/serial/";

// Discovery never prints: libkmod's messages are dropped.
void silence(void* /*data*/, int /*priority*/, const char* /*file*/, int /*line*/,
             const char* /*function*/, const char* /*format*/, va_list /*arguments*/) {}

// The module name of a file name: its base name up to ".ko" (past which come compression
// suffixes), with "-" read as "_" as the kernel does.
std::string moduleNameOfFile(const std::string& file) {
  const size_t slash = file.rfind('/');
  std::string name = file.substr(slash == std::string::npos ? 0 : slash + 1);
  name = name.substr(0, name.find(".ko"));
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

}  // namespace

struct ModuleIndex::Context {
  kmod_ctx* context = nullptr;
  ~Context() { kmod_unref(context); }
};

ModuleIndex::ModuleIndex(std::string moduleFolder, std::vector<std::string> configFolders)
    : folder_(std::move(moduleFolder)), configFolders_(std::move(configFolders)) {}

ModuleIndex::~ModuleIndex() = default;

bool ModuleIndex::load() {
  if (context_ || failed_)
    return !failed_;
  std::vector<const char*> configs;
  for (const std::string& folder : configFolders_)
    configs.push_back(folder.c_str());
  configs.push_back(nullptr);
  auto context = std::make_unique<Context>();
  context->context = kmod_new(folder_.c_str(), configs.data());
  if (context->context == nullptr) {
    failed_ = true;
    return false;
  }
  kmod_set_log_fn(context->context, silence, nullptr);
  if (kmod_load_resources(context->context) < 0) {
    failed_ = true;
    return false;
  }
  context_ = std::move(context);
  return true;
}

std::vector<std::string> ModuleIndex::serialModulesFor(const std::string& modalias) {
  std::vector<std::string> modules;
  if (modalias.empty() || !load())
    return modules;
  kmod_list* found = nullptr;
  if (kmod_module_new_from_lookup(context_->context, modalias.c_str(), &found) < 0)
    return modules;
  kmod_list* entry = nullptr;
  kmod_list_foreach(entry, found) {
    kmod_module* module = kmod_module_get_module(entry);
    const std::string name = kmod_module_get_name(module);
    if (std::find(modules.begin(), modules.end(), name) == modules.end() &&
        isSerialDriver(name, kmod_module_get_path(module))) {
      modules.push_back(name);
    }
    kmod_module_unref(module);
  }
  kmod_module_unref_list(found);
  return modules;
}

bool ModuleIndex::isSerialDriver(const std::string& module, const char* modulePath) {
  if (module == "cdc_acm")
    return true;
  const std::string serialFolder = folder_ + "/" + kSerialFolder;
  if (modulePath != nullptr)
    return std::string(modulePath).compare(0, serialFolder.size(), serialFolder) == 0;
  if (!builtinRead_) {
    std::ifstream builtin(folder_ + "/modules.builtin");
    for (std::string line; std::getline(builtin, line);)
      builtinFiles_.push_back(line);
    builtinRead_ = true;
  }
  return std::any_of(builtinFiles_.begin(), builtinFiles_.end(), [&](const std::string& file) {
    return file.compare(0, sizeof kSerialFolder - 1, kSerialFolder) == 0 &&
           moduleNameOfFile(file) == module;
  });
}

std::unique_ptr<ModuleIndex> runningKernelIndex(const FileSystemRoot& root) {
  utsname system{};
  const std::string release = ::uname(&system) == 0 ? system.release : "";
  std::vector<std::string> configs;
  for (const char* folder :
       {"/etc/modprobe.d", "/run/modprobe.d", "/usr/local/lib/modprobe.d", "/lib/modprobe.d"})
    configs.push_back(root.path(folder));
  return std::make_unique<ModuleIndex>(root.path("/lib/modules/" + release), std::move(configs));
}

}  // namespace ttyenum
