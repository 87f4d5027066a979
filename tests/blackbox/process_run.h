#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
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

// A process that runs while the test goes on, in a process group of its own, standard input from
// /dev/null. Its standard output is read line by line; whatever is left of the group is killed
// when the object goes away.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& argv,
                    const std::vector<std::string>& environment);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  pid_t pid() const { return pid_; }
  // The next line of standard output with its line feed; none when no whole line came within
  // `timeoutMs` or the output ended.
  std::optional<std::string> nextLine(int timeoutMs);
  // Closes the reading end of standard output, as a pager that quits does.
  void closeOutput();
  // Waits up to `timeoutMs` for the process to end (then kills its group): the rest of
  // standard output (with any part line), standard error and the status.
  ProcessResult finish(int timeoutMs);

 private:
  bool readSome(int fd, std::string& sink, int timeoutMs);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string pending_;
  std::string err_;
  bool reaped_ = false;
};

// The first process found below `ancestor` (by parent links in /proc) for which `matches(pid)`
// holds, looked for again until `timeoutMs` have passed; -1 when there is none.
pid_t findDescendant(pid_t ancestor, const std::function<bool(pid_t)>& matches, int timeoutMs);

// This process's environment less every locale variable (LANG, LANGUAGE, LC_*), plus `extra`.
std::vector<std::string> environmentWithoutLocale(const std::vector<std::string>& extra = {});

// This process's environment unchanged.
std::vector<std::string> currentEnvironment();

}  // namespace ttyenum::testing
