#include "common/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace ttyenum {

// Only regular files are read, so a FIFO named like a lock file never blocks.
bool readRegularFile(int fd, size_t limit, std::string& text) {
  struct stat status {};
  bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  char buffer[4096];
  while (read && text.size() < limit) {
    const size_t wanted = std::min(sizeof buffer, limit - text.size());
    const ssize_t length = ::read(fd, buffer, wanted);
    read = length >= 0;
    if (length <= 0)
      break;
    text.append(buffer, static_cast<size_t>(length));
  }
  ::close(fd);
  return read;
}

std::optional<std::string> readSmallFile(const std::string& path, size_t limit, int flags) {
  return readSmallFileAt(AT_FDCWD, path, limit, flags);
}

std::optional<std::string> readSmallFileAt(int folder, const std::string& name, size_t limit,
                                           int flags) {
  const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags);
  std::string text;
  if (fd < 0 || !readRegularFile(fd, limit, text))
    return std::nullopt;
  return text;
}

}  // namespace ttyenum
