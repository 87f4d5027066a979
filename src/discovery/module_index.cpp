#include "discovery/module_index.h"

#include <dlfcn.h>
#include <libkmod.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdarg>
#include <fstream>
#include <optional>
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

// libkmod, opened on the first lookup rather than linked: loading it with the compression and
// crypto libraries that it needs costs more than a whole listing's other work, and most
// listings never look anything up.
struct Kmod {
  decltype(&kmod_new) newContext = nullptr;
  decltype(&kmod_unref) unref = nullptr;
  decltype(&kmod_set_log_fn) setLogFunction = nullptr;
  decltype(&kmod_load_resources) loadResources = nullptr;
  decltype(&kmod_module_new_from_lookup) lookup = nullptr;
  decltype(&kmod_list_next) listNext = nullptr;
  decltype(&kmod_module_get_module) moduleOf = nullptr;
  decltype(&kmod_module_get_name) nameOf = nullptr;
  decltype(&kmod_module_get_path) pathOf = nullptr;
  decltype(&kmod_module_unref) unrefModule = nullptr;
  decltype(&kmod_module_unref_list) unrefList = nullptr;
};

template <typename Function>
bool bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

// The library's functions; none when it cannot be opened. Opened once per process.
const Kmod* kmod() {
  static const std::optional<Kmod> library = []() -> std::optional<Kmod> {
    void* handle = ::dlopen("libkmod.so.2", RTLD_NOW | RTLD_LOCAL);
    Kmod k;
    if (handle == nullptr || !bind(handle, "kmod_new", k.newContext) ||
        !bind(handle, "kmod_unref", k.unref) ||
        !bind(handle, "kmod_set_log_fn", k.setLogFunction) ||
        !bind(handle, "kmod_load_resources", k.loadResources) ||
        !bind(handle, "kmod_module_new_from_lookup", k.lookup) ||
        !bind(handle, "kmod_list_next", k.listNext) ||
        !bind(handle, "kmod_module_get_module", k.moduleOf) ||
        !bind(handle, "kmod_module_get_name", k.nameOf) ||
        !bind(handle, "kmod_module_get_path", k.pathOf) ||
        !bind(handle, "kmod_module_unref", k.unrefModule) ||
        !bind(handle, "kmod_module_unref_list", k.unrefList)) {
      return std::nullopt;
    }
    return k;
  }();
  return library ? &*library : nullptr;
}

}  // namespace

struct ModuleIndex::Context {
  const Kmod* library = nullptr;
  kmod_ctx* context = nullptr;
  ~Context() { library->unref(context); }
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
  const Kmod* library = kmod();
  if (library == nullptr) {
    failed_ = true;
    return false;
  }
  auto context = std::make_unique<Context>();
  context->library = library;
  context->context = library->newContext(folder_.c_str(), configs.data());
  if (context->context == nullptr) {
    failed_ = true;
    return false;
  }
  library->setLogFunction(context->context, silence, nullptr);
  if (library->loadResources(context->context) < 0) {
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
  const Kmod& library = *context_->library;
  kmod_list* found = nullptr;
  if (library.lookup(context_->context, modalias.c_str(), &found) < 0)
    return modules;
  for (kmod_list* entry = found; entry != nullptr; entry = library.listNext(found, entry)) {
    kmod_module* module = library.moduleOf(entry);
    const std::string name = library.nameOf(module);
    if (std::find(modules.begin(), modules.end(), name) == modules.end() &&
        isSerialDriver(name, library.pathOf(module))) {
      modules.push_back(name);
    }
    library.unrefModule(module);
  }
  library.unrefList(found);
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
