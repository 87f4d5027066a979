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
    if (result <= 0) {
      const int reason = result < 0 ? errno : EIO;
      errors << "ttyenum: write error: " << ::strerror(reason) << '\n';
      errors.flush();
      return kExitWriteError;
    }
    written += static_cast<size_t>(result);
  }
  return kExitSuccess;
}

}  // namespace ttyenum
