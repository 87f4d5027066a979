#pragma once

#include <string>
#include <vector>

namespace ttyenum::testing {

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128 + signal number when a signal ended the process
};

// Runs `argv` with `environment` (NAME=value entries), standard input from /dev/null, and
// captures standard output and standard error. With `stdoutFd` >= 0 standard output goes
// there instead and `out` stays empty.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, int stdoutFd = -1);

// This process's environment less every locale variable (LANG, LANGUAGE, LC_*), plus `extra`.
std::vector<std::string> environmentWithoutLocale(const std::vector<std::string>& extra = {});

// This process's environment unchanged.
std::vector<std::string> currentEnvironment();

}  // namespace ttyenum::testing
