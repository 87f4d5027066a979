#include "usage/open_handle_scan.h"

#include <unistd.h>

#include <cstring>
#include <sstream>
#include <vector>

namespace ttyenum {

namespace {

constexpr size_t kLinkBufferSize = 1024;

// The pid in a logical descriptor pattern such as /proc/1234/fd/*: the digits after "/proc/".
int pidOfDescriptorPattern(const std::string& pattern) {
  int pid = -1;
  std::istringstream digits(pattern.substr(6));
  digits >> pid;
  return digits.fail() ? -1 : pid;
}

}  // namespace

bool linkTargetsContain(const std::string& linkPattern, const std::string& needle,
                        const FileSystemRoot& root) {
  std::vector<std::string> links;
  if (!root.glob(linkPattern, links))
    return false;
  char target[kLinkBufferSize];
  for (const std::string& link : links) {
    const ssize_t length = ::readlink(root.path(link).c_str(), target, kLinkBufferSize - 1);
    if (length <= 0)
      continue;
    target[length] = '\0';
    // A target that fills the buffer may have been cut, so it proves nothing.
    if (static_cast<size_t>(length) == kLinkBufferSize - 1)
      continue;
    if (static_cast<size_t>(length) == needle.size() &&
        std::memcmp(target, needle.data(), needle.size()) == 0) {
      return true;
    }
  }
  return false;
}

int findHolderPid(const std::string& devicePath, const FileSystemRoot& root) {
  std::vector<std::string> processes;
  if (!root.glob("/proc/[0-9]*/fd", processes))
    return -1;
  for (const std::string& descriptorFolder : processes) {
    if (::access(root.path(descriptorFolder).c_str(), R_OK | X_OK) != 0)
      continue;
    const std::string descriptorPattern = descriptorFolder + "/*";
    if (linkTargetsContain(descriptorPattern, devicePath, root)) {
      return pidOfDescriptorPattern(descriptorPattern);
    }
  }
  return -1;
}

std::vector<int> findHolderPids(const std::vector<std::string>& devicePaths,
                                const FileSystemRoot& root) {
  std::vector<int> holders;
  for (const std::string& devicePath : devicePaths)
    holders.push_back(findHolderPid(devicePath, root));
  return holders;
}

}  // namespace ttyenum
