#include "app/output_delivery.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

namespace ttyenum {

int deliverOutput(int fd, const std::string& bytes, std::ostream& errors) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (result < 0 && errno == EINTR)
      continue;
    if (result <= 0)
      return writeError(result < 0 ? errno : EIO, errors);
    written += static_cast<size_t>(result);
  }
  return kExitSuccess;
}

int failWith(const std::string& message, std::ostream& errors) {
  errors << "ttyenum: " << message << '\n';
  errors.flush();
  return kExitWriteError;
}

int writeError(int reason, std::ostream& errors) {
  return failWith(std::string("write error: ") + ::strerror(reason), errors);
}

}  // namespace ttyenum
