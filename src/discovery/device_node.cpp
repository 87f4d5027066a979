#include "discovery/device_node.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "discovery/sysfs_attribute.h"

namespace ttyenum {

namespace {

// The group's name from the group database; empty when the id has none.
std::string groupName(gid_t id) {
  std::vector<char> buffer(1024);
  struct group entry {};
  struct group* found = nullptr;
  // Group entries with many members need a bigger buffer than sysconf suggests.
  while (::getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (size_t{1} << 20))
    buffer.resize(buffer.size() * 2);
  return found != nullptr ? std::string(found->gr_name) : std::string();
}

std::string accessOf(const std::string& realPath) {
  std::string access;
  if (::faccessat(AT_FDCWD, realPath.c_str(), R_OK, AT_EACCESS) == 0)
    access += 'r';
  if (::faccessat(AT_FDCWD, realPath.c_str(), W_OK, AT_EACCESS) == 0)
    access += 'w';
  return access;
}

}  // namespace

void describeNode(const std::string& devicePath, PortFacts& facts, const FileSystemRoot& root) {
  const std::string path = root.path(devicePath);
  struct stat node {};
  if (::stat(path.c_str(), &node) == 0) {
    if (S_ISCHR(node.st_mode))
      facts.device = DeviceNumber{major(node.st_rdev), minor(node.st_rdev)};
    facts.group = groupName(node.st_gid);
  }
  facts.access = accessOf(path);
}

std::optional<DeviceNumber> characterDeviceAt(const std::string& path, const FileSystemRoot& root) {
  struct stat node {};
  if (path.empty() || ::stat(root.path(path).c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
    return std::nullopt;
  return DeviceNumber{major(node.st_rdev), minor(node.st_rdev)};
}

std::string resolveLinkTarget(const std::string& folder, const std::string& target) {
  const std::string path = target.compare(0, 1, "/") == 0 ? target : folder + "/" + target;
  std::vector<std::string> components;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos)
      end = path.size();
    const std::string component = path.substr(begin, end - begin);
    if (component == "..") {
      if (!components.empty())
        components.pop_back();
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    begin = end + 1;
  }
  std::string resolved;
  for (const std::string& component : components)
    resolved += "/" + component;
  return resolved.empty() ? "/" : resolved;
}

std::vector<SerialLink> readSerialLinks(const FileSystemRoot& root) {
  std::vector<SerialLink> links;
  for (const char* folder : {"/dev/serial/by-id", "/dev/serial/by-path"}) {
    std::vector<std::string> paths;
    root.glob(std::string(folder) + "/*", paths);
    for (const std::string& path : paths) {
      std::string target;
      if (readLinkText(path, target, root))
        links.push_back({path, resolveLinkTarget(folder, target)});
    }
  }
  std::sort(links.begin(), links.end(),
            [](const SerialLink& a, const SerialLink& b) { return a.link < b.link; });
  return links;
}

}  // namespace ttyenum
