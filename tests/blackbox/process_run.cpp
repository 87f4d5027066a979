#include "blackbox/process_run.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

long long nowMs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

pid_t parentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // pid (comm) state ppid ...: the command may hold blanks and parentheses.
  const size_t close = text.rfind(')');
  if (close == std::string::npos)
    return -1;
  pid_t parent = -1;
  char state = 0;
  if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) != 2)
    return -1;
  return parent;
}

bool descendsFrom(pid_t pid, pid_t ancestor) {
  for (int depth = 0; depth < 64 && pid > 1; ++depth) {
    pid = parentOf(pid);
    if (pid == ancestor)
      return true;
  }
  return false;
}

}  // namespace

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& environment) {
  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<char*> args = pointerVector(argv);
  std::vector<char*> env = pointerVector(environment);
  pid_ = ::fork();
  if (pid_ < 0)
    throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::setpgid(0, 0);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }
  ::setpgid(pid_, pid_);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
}

BackgroundProcess::~BackgroundProcess() {
  if (!reaped_) {
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0)
    ::close(outFd_);
  if (errFd_ >= 0)
    ::close(errFd_);
}

bool BackgroundProcess::readSome(int fd, std::string& sink, int timeoutMs) {
  struct pollfd ready = {fd, POLLIN, 0};
  if (fd < 0 || ::poll(&ready, 1, timeoutMs) <= 0)
    return false;
  char buffer[4096];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got <= 0)
    return false;
  sink.append(buffer, static_cast<size_t>(got));
  return true;
}

std::optional<std::string> BackgroundProcess::nextLine(int timeoutMs) {
  const long long deadline = nowMs() + timeoutMs;
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end + 1);
      pending_.erase(0, end + 1);
      return line;
    }
    const long long left = deadline - nowMs();
    if (left <= 0 || !readSome(outFd_, pending_, static_cast<int>(left)))
      return std::nullopt;
  }
}

void BackgroundProcess::closeOutput() {
  ::close(outFd_);
  outFd_ = -1;
}

ProcessResult BackgroundProcess::finish(int timeoutMs) {
  const long long deadline = nowMs() + timeoutMs;
  ProcessResult result;
  int status = 0;
  while (!reaped_) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      reaped_ = true;
    } else if (nowMs() >= deadline) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      reaped_ = true;
    } else {
      ::usleep(10000);
    }
  }
  while (readSome(outFd_, pending_, 0)) {
  }
  while (readSome(errFd_, err_, 0)) {
  }
  result.out = pending_;
  result.err = err_;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

pid_t findDescendant(pid_t ancestor, const std::function<bool(pid_t)>& matches, int timeoutMs) {
  const long long deadline = nowMs() + timeoutMs;
  do {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
      return -1;
    pid_t found = -1;
    while (const struct dirent* entry = ::readdir(proc)) {
      char* end = nullptr;
      const long pid = std::strtol(entry->d_name, &end, 10);
      if (*end == '\0' && pid > 0 && descendsFrom(static_cast<pid_t>(pid), ancestor) &&
          matches(static_cast<pid_t>(pid))) {
        found = static_cast<pid_t>(pid);
        break;
      }
    }
    ::closedir(proc);
    if (found > 0)
      return found;
    ::usleep(10000);
  } while (nowMs() < deadline);
  return -1;
}

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
