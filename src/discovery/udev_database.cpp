#include "discovery/udev_database.h"

#include <sys/stat.h>

namespace ttyenum {

namespace {

bool exists(const std::string& logicalPath, const FileSystemRoot& root) {
  struct stat status {};
  return ::lstat(root.path(logicalPath).c_str(), &status) == 0;
}

}  // namespace

bool udevRuns(const FileSystemRoot& root) {
  return exists("/run/udev/control", root);
}

bool udevHasEntry(const DeviceNumber& device, const FileSystemRoot& root) {
  return exists("/run/udev/data/c" + device.text(), root);
}

}  // namespace ttyenum
