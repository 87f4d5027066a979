#include "usage/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace ttyenum {

namespace {

// Reads until `limit` bytes or the end; only regular files and procfs/sysfs entries (which
// stat as regular files too) are read, so a FIFO named like a lock file never blocks.
std::optional<std::string> readOpenFile(int fd, size_t limit) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  while (text.size() < limit) {
    const size_t wanted = std::min(sizeof buffer, limit - text.size());
    const ssize_t length = ::read(fd, buffer, wanted);
    if (length < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (length == 0)
      break;
    text.append(buffer, static_cast<size_t>(length));
  }
  ::close(fd);
  return text;
}

}  // namespace

std::optional<std::string> readSmallFile(const std::string& path, size_t limit, int flags) {
  return readSmallFileAt(AT_FDCWD, path, limit, flags);
}

std::optional<std::string> readSmallFileAt(int folder, const std::string& name, size_t limit,
                                           int flags) {
  const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags);
  if (fd < 0)
    return std::nullopt;
  return readOpenFile(fd, limit);
}

}  // namespace ttyenum
