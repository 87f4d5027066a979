#include "discovery/sysfs_attribute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/small_file.h"

namespace ttyenum {

namespace {

// Sysfs text attributes are at most a page; nothing longer is read.
constexpr size_t kMaxAttributeBytes = size_t{64} * 1024;

// Every byte up to the first NUL, the end of the file or kMaxAttributeBytes; a failing read ends
// the text there. Only regular files count as attributes: the stat keeps device nodes from being
// opened at all, and O_NONBLOCK with readRegularFile's own check covers a file swapped for a
// FIFO in between, so no read can hang.
std::string readContent(const std::string& realPath) {
  std::string content;
  struct stat status {};
  if (::stat(realPath.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    return content;
  const int fd = ::open(realPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd >= 0)
    readRegularFile(fd, kMaxAttributeBytes, content);
  const size_t nul = content.find('\0');
  if (nul != std::string::npos)
    content.resize(nul);
  return content;
}

std::string lineFrom(const std::string& text, size_t start) {
  const size_t end = text.find('\n', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::string attributeText(const std::string& content, bool keyValue) {
  std::string text = content.substr(0, content.find('\0'));
  if (keyValue) {
    const size_t equals = text.find('=');
    if (equals != std::string::npos && equals > 0)
      text = lineFrom(text, equals + 1);
  }
  if (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text;
}

std::string readSysfsAttribute(const std::string& path, bool keyValue, const FileSystemRoot& root) {
  return attributeText(readContent(root.path(path)), keyValue);
}

std::string driverFromUevent(const std::string& ueventText) {
  static const std::string key = "DRIVER=";
  const size_t at = ueventText.find(key);
  if (at == std::string::npos)
    return std::string();
  return lineFrom(ueventText, at + key.size());
}

std::string ttyDriverName(const std::string& devicePath, const FileSystemRoot& root) {
  const std::string classEntry = ttyClassEntry(devicePath);
  if (classEntry.empty())
    return std::string();
  return deviceDriverName(classEntry + "/device/", root);
}

std::string deviceDriverName(const std::string& deviceFolder, const FileSystemRoot& root) {
  return driverFromUevent(readSysfsAttribute(deviceFolder + "uevent", false, root));
}

std::string stripHexPrefix(const std::string& text) {
  return text.compare(0, 2, "0x") == 0 ? text.substr(2) : text;
}

bool readLinkText(const std::string& logicalPath, std::string& linkText,
                  const FileSystemRoot& root) {
  char buffer[4096];
  const ssize_t length = ::readlink(root.path(logicalPath).c_str(), buffer, sizeof buffer);
  if (length < 1)
    return false;
  linkText.assign(buffer, static_cast<size_t>(length));
  return true;
}

std::string deviceSubsystem(const std::string& deviceFolder, const FileSystemRoot& root) {
  std::string linkText;
  if (!readLinkText(deviceFolder + "subsystem", linkText, root))
    return std::string();
  const size_t slash = linkText.rfind('/');
  return slash == std::string::npos ? std::string() : linkText.substr(slash + 1);
}

std::string ttyClassEntry(const std::string& devicePath) {
  if (devicePath.size() < 4)
    return std::string();
  return "/sys/class/tty" + devicePath.substr(4);
}

}  // namespace ttyenum
