#include "usage/open_handle_scan.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "support/fake_root.h"

namespace ttyenum {
namespace {

using testing::FakeRoot;

// A child process that opens `path`, holds it until told to close it, then waits to be ended.
class HolderProcess {
 public:
  explicit HolderProcess(const std::string& path) {
    int ready[2], go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0)
      std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(go[1]);
      int fd = ::open(path.c_str(), O_RDONLY | O_CREAT, 0644);
      char byte = 1;
      if (::write(ready[1], &byte, 1) != 1)
        ::_exit(1);
      if (::read(go[0], &byte, 1) == 1 && fd >= 0)
        ::close(fd);
      if (::write(ready[1], &byte, 1) != 1)
        ::_exit(1);
      ::pause();
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(go[0]);
    ready_ = ready[0];
    go_ = go[1];
    waitForChild();
  }
  ~HolderProcess() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(ready_);
    ::close(go_);
  }
  void closeFile() {
    char byte = 1;
    if (::write(go_, &byte, 1) != 1)
      std::abort();
    waitForChild();
  }
  pid_t pid() const { return pid_; }

 private:
  void waitForChild() {
    char byte;
    if (::read(ready_, &byte, 1) != 1)
      std::abort();
  }
  pid_t pid_ = -1;
  int ready_ = -1;
  int go_ = -1;
};

TEST(FindHolderPidLive, FindsTheChildThatHoldsAFileUntilItClosesIt) {
  FakeRoot scratch;
  const std::string file = scratch.path("/ttyFAKE0");
  HolderProcess holder(file);
  EXPECT_EQ(findHolderPid(file), holder.pid());
  holder.closeFile();
  EXPECT_EQ(findHolderPid(file), -1);
}

TEST(FindHolderPidLive, AHolderOfALongerNameDoesNotHoldTheShorterOne) {
  FakeRoot scratch;
  HolderProcess holder(scratch.path("/ttyFAKE10"));
  EXPECT_EQ(findHolderPid(scratch.path("/ttyFAKE1")), -1);
  EXPECT_EQ(findHolderPid(scratch.path("/ttyFAKE10")), holder.pid());
}

// A child whose descriptor on `path` lives in a thread's table only: either the main thread has
// exited while another holds the file, or a thread took a table of its own before opening it.
class ThreadHolder {
 public:
  ThreadHolder(const std::string& path, bool leaderExits) : path_(path) {
    if (::pipe(ready_) != 0)
      std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      pthread_t thread;
      if (::pthread_create(&thread, nullptr, leaderExits ? &holdShared : &holdUnshared, this) != 0)
        ::_exit(1);
      // The raw exit ends only this thread, without the unwinding that pthread_exit does
      // through the test framework's handlers.
      if (leaderExits)
        ::syscall(SYS_exit, 0);
      ::pause();
      ::_exit(0);
    }
    char byte;
    if (::read(ready_[0], &byte, 1) != 1)
      std::abort();
  }
  ~ThreadHolder() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(ready_[0]);
    ::close(ready_[1]);
  }
  pid_t pid() const { return pid_; }

 private:
  static void* holdShared(void* self) { return static_cast<ThreadHolder*>(self)->hold(); }
  static void* holdUnshared(void* self) {
    if (::unshare(CLONE_FILES) != 0)
      ::_exit(1);
    return static_cast<ThreadHolder*>(self)->hold();
  }
  void* hold() {
    if (::open(path_.c_str(), O_RDONLY | O_CREAT, 0644) < 0)
      ::_exit(1);
    char byte = 1;
    // Let the main thread exit before the scan looks.
    ::usleep(20000);
    if (::write(ready_[1], &byte, 1) != 1)
      ::_exit(1);
    for (;;)
      ::pause();
  }

  std::string path_;
  int ready_[2] = {-1, -1};
  pid_t pid_ = -1;
};

// Run as an ordinary user too: a leader that has exited leaves a descriptor folder only root
// may open, while its threads' folders stay the user's.
TEST(FindHolderPidLive, DescriptorsOnlyAThreadsTableShowsAreFound) {
  for (bool leaderExits : {true, false}) {
    SCOPED_TRACE(leaderExits ? "main thread exited" : "thread with a table of its own");
    FakeRoot scratch;
    const std::string file = scratch.path("/ttyFAKE3");
    ASSERT_EQ(::close(::open(file.c_str(), O_RDONLY | O_CREAT, 0644)), 0);
    ASSERT_EQ(::chmod(scratch.folder().c_str(), 0755), 0);
    const auto check = [&] {
      ThreadHolder holder(file, leaderExits);
      return findHolderPid(file) == holder.pid() && findHolderPid(file + "x") == -1;
    };
    EXPECT_TRUE(check());
    if (::geteuid() != 0)
      continue;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Dropping root makes a process undumpable, which hands its /proc folders to root; an
      // ordinary user's processes are dumpable.
      if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::prctl(PR_SET_DUMPABLE, 1) != 0)
        ::_exit(2);
      ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "as an ordinary user; 2: could not drop root";
  }
}

TEST(FindHolderPidLive, TheCallersOwnDescriptorsCount) {
  FakeRoot scratch;
  const std::string file = scratch.path("/ttyFAKE2");
  const int fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(findHolderPid(file), ::getpid());
  ::close(fd);
  EXPECT_EQ(findHolderPid(file), -1);
}

// Descriptor links in a fake /proc: dangling links whose text names the device, as the kernel
// writes them.
TEST(FindHolderPidFake, FirstHolderInTextOrderWins) {
  FakeRoot fake;
  fake.link("/proc/99/fd/0", "/dev/null");
  fake.link("/proc/99/fd/3", "/dev/ttyUSB0");
  fake.link("/proc/1000/fd/5", "/dev/ttyUSB0");
  fake.link("/proc/1000/fd/6", "socket:[4242]");
  fake.folder("/proc/self");
  EXPECT_EQ(findHolderPid("/dev/ttyUSB0", fake.root()), 1000);
}

// One walk for several ports still gives each its own first holder.
TEST(FindHolderPidFake, EachPortGetsItsOwnFirstHolder) {
  FakeRoot fake;
  fake.link("/proc/1000/fd/3", "/dev/ttyUSB1");
  fake.link("/proc/99/fd/3", "/dev/ttyUSB0");
  fake.link("/proc/99/fd/4", "/dev/ttyUSB1");
  fake.link("/proc/5/fd/4", "/dev/ttyACM0");
  EXPECT_EQ(
      findHolderPids({"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyACM0"}, fake.root()),
      (std::vector<int>{99, 1000, -1, 5}));
  EXPECT_EQ(findHolderPids({}, fake.root()), std::vector<int>{});
}

TEST(FindHolderPidFake, MatchesTheWholeTargetOnly) {
  FakeRoot fake;
  fake.link("/proc/7/fd/1", "/dev/ttyS10");
  fake.link("/proc/8/fd/1", "/tmp/dev/ttyS1.log");
  fake.link("/proc/9/fd/1", "/dev/ttyS1 (deleted)");
  EXPECT_EQ(findHolderPid("/dev/ttyS1", fake.root()), -1);
  EXPECT_EQ(findHolderPid("/dev/ttyS10", fake.root()), 7);
}

TEST(FindHolderPidFake, ALinkTargetLongerThanTheBufferNeverMatches) {
  FakeRoot fake;
  const std::string longTarget = "/dev/" + std::string(1100, 'x');
  fake.link("/proc/5/fd/1", longTarget);
  EXPECT_EQ(findHolderPid(longTarget.substr(0, 1023), fake.root()), -1);
}

TEST(FindHolderPidFake, NoProcMeansNoHolder) {
  FakeRoot fake;
  EXPECT_EQ(findHolderPid("/dev/ttyUSB0", fake.root()), -1);
  fake.folder("/proc/1/fd");  // a process without descriptors
  EXPECT_EQ(findHolderPid("/dev/ttyUSB0", fake.root()), -1);
}

TEST(FindHolderPidFake, SkipsProcessesTheCallerMayNotSearch) {
  FakeRoot fake;
  fake.link("/proc/1000/fd/3", "/dev/ttyUSB0");
  fake.link("/proc/99/fd/3", "/dev/ttyUSB0");
  ASSERT_EQ(::chmod(fake.folder().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(fake.path("/proc/1000/fd").c_str(), 0500), 0);
  if (::geteuid() != 0) {
    EXPECT_EQ(findHolderPid("/dev/ttyUSB0", fake.root()), 99);
    return;
  }
  // Root may search any folder, so the check runs in a child that gives root up.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
      ::_exit(2);
    ::_exit(findHolderPid("/dev/ttyUSB0", fake.root()) == 99 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not drop root; 1: the unreadable folder counted";
}

// As nobody, a refused folder is reported with the terminal its stat line names; one without a
// stat line, or one that lists but refuses its links, still counts; a kernel thread does not.
TEST(FindHolderPidFake, ReportsTheProcessesItCouldNotRead) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "the folders would be this user's own";
  FakeRoot fake;
  fake.link("/proc/99/fd/3", "/dev/ttyUSB0");
  fake.folder("/proc/1000/fd");
  fake.file("/proc/1000/stat", "1000 (getty) S 1 1000 1000 1088 1000 4194560 9\n");
  fake.folder("/proc/1001/fd");
  fake.link("/proc/1002/fd/3", "/dev/ttyS0");
  fake.folder("/proc/2/fd");
  fake.file("/proc/2/stat", "2 (kthreadd) S 0 0 0 0 -1 2129984 0\n");
  ASSERT_EQ(::chmod(fake.folder().c_str(), 0755), 0);
  for (const char* folder : {"/proc/1000/fd", "/proc/1001/fd", "/proc/2/fd"})
    ASSERT_EQ(::chmod(fake.path(folder).c_str(), 0500), 0);
  ASSERT_EQ(::chmod(fake.path("/proc/1002/fd").c_str(), 0444), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
      ::_exit(2);
    const HolderScanResult scan = scanHolders({"/dev/ttyUSB0", "/dev/ttyS0"}, fake.root());
    std::string unread;  // each pid, with the terminal its stat line names
    for (const UnreadProcess& process : scan.unreadable)
      unread += " " + std::to_string(process.pid) +
                (process.terminal ? "=" + process.terminal->text() : "");
    ::_exit(scan.holders == std::vector<int>{99, -1} && unread == " 1000=4:64 1001 1002" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "2: could not drop root";
}

}  // namespace
}  // namespace ttyenum
