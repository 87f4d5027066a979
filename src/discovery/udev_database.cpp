#include "discovery/udev_database.h"

#include <sys/stat.h>

#include "discovery/sysfs_attribute.h"

namespace ttyenum {

namespace {

std::string entryPath(const std::string& majorMinor) {
  return "/run/udev/data/c" + majorMinor;
}

bool exists(const std::string& logicalPath, const FileSystemRoot& root) {
  struct stat status {};
  return ::lstat(root.path(logicalPath).c_str(), &status) == 0;
}

}  // namespace

bool udevRuns(const FileSystemRoot& root) {
  return exists("/run/udev/control", root);
}

bool udevHasEntry(const DeviceNumber& device, const FileSystemRoot& root) {
  return exists(entryPath(device.text()), root);
}

std::string udevProperty(const std::string& majorMinor, const std::string& key,
                         const FileSystemRoot& root) {
  const std::string entryText = readSysfsAttribute(entryPath(majorMinor), false, root);
  const std::string prefix = "E:" + key + "=";
  size_t line = 0;
  while (line < entryText.size()) {
    size_t end = entryText.find('\n', line);
    if (end == std::string::npos)
      end = entryText.size();
    if (entryText.compare(line, prefix.size(), prefix) == 0)
      return entryText.substr(line + prefix.size(), end - line - prefix.size());
    line = end + 1;
  }
  return std::string();
}

}  // namespace ttyenum
