#pragma once

#include <ostream>
#include <string>

#include "app/exit_status.h"

namespace ttyenum {

// Writes `bytes` whole to descriptor `fd`. On failure writes "ttyenum: write error: " and the
// system's reason to `errors` and returns kExitWriteError; else returns kExitSuccess.
int deliverOutput(int fd, const std::string& bytes, std::ostream& errors);

// Writes "ttyenum: ", `message` and a line feed to `errors` at once; returns kExitWriteError.
int failWith(const std::string& message, std::ostream& errors);

// failWith("write error: " and the system's text for the errno value `reason`).
int writeError(int reason, std::ostream& errors);

}  // namespace ttyenum
