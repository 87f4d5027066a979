#pragma once

#include <ostream>
#include <string>

#include "app/exit_status.h"

namespace ttyenum {

// Writes `bytes` whole to descriptor `fd`. On failure writes "ttyenum: write error: " and the
// system's reason to `errors` and returns kExitWriteError; else returns kExitSuccess.
int deliverOutput(int fd, const std::string& bytes, std::ostream& errors);

}  // namespace ttyenum
