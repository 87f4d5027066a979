#include "blackbox/process_run.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace ttyenum::testing {

namespace {

std::vector<char*> pointerVector(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts)
    pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

bool isLocaleVariable(const std::string& entry) {
  const std::string name = entry.substr(0, entry.find('='));
  return name == "LANG" || name == "LANGUAGE" || name.rfind("LC_", 0) == 0;
}

// Reads both pipes to their end, without letting either fill up and block the child.
void drainPipes(int outFd, int errFd, std::string& out, std::string& err) {
  struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open = (outFd >= 0) + (errFd >= 0);
  char buffer[4096];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0)
      continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, int stdoutFd) {
  int outPipe[2] = {-1, -1};
  int errPipe[2];
  if ((stdoutFd < 0 && ::pipe2(outPipe, O_CLOEXEC) != 0) || ::pipe2(errPipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<char*> args = pointerVector(argv);
  std::vector<char*> env = pointerVector(environment);
  const pid_t pid = ::fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(stdoutFd >= 0 ? stdoutFd : outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }
  if (stdoutFd < 0)
    ::close(outPipe[1]);
  ::close(errPipe[1]);
  ProcessResult result;
  drainPipes(outPipe[0], errPipe[0], result.out, result.err);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR)
      throw std::runtime_error("waitpid failed");
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::vector<std::string> currentEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry)
    entries.emplace_back(*entry);
  return entries;
}

std::vector<std::string> environmentWithoutLocale(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  for (const std::string& entry : currentEnvironment()) {
    if (!isLocaleVariable(entry))
      entries.push_back(entry);
  }
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

}  // namespace ttyenum::testing
