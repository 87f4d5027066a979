#include "usage/open_handle_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string_view>

#include "common/small_file.h"
#include "usage/process_stat.h"

namespace ttyenum {

namespace {

constexpr size_t kLinkBufferSize = 1024;

// A port node as the scan looks for it.
struct Needle {
  std::string path;
  bool identified = false;  // stat'ed: matched by identity rather than by link text
  bool characterDevice = false;
  dev_t rdev = 0;
  dev_t dev = 0;
  ino_t ino = 0;
  int holder = -1;
};

Needle needleFor(const std::string& path, const FileSystemRoot& root) {
  Needle needle;
  needle.path = path;
  struct stat node {};
  if (::stat(root.path(path).c_str(), &node) == 0) {
    needle.identified = true;
    needle.characterDevice = S_ISCHR(node.st_mode);
    needle.rdev = node.st_rdev;
    needle.dev = node.st_dev;
    needle.ino = node.st_ino;
  }
  return needle;
}

bool sameDevice(const Needle& needle, const struct stat& open) {
  if (needle.characterDevice)
    return S_ISCHR(open.st_mode) && open.st_rdev == needle.rdev;
  return open.st_dev == needle.dev && open.st_ino == needle.ino;
}

// A directory read through a descriptor, so that its entries are reached without new paths.
class Directory {
 public:
  Directory(int parent, const std::string& path) {
    const int fd = ::openat(parent, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
      refused_ = errno == EACCES || errno == EPERM;
    else if ((stream_ = ::fdopendir(fd)) == nullptr)
      ::close(fd);
  }
  ~Directory() {
    if (stream_ != nullptr)
      ::closedir(stream_);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  bool isOpen() const { return stream_ != nullptr; }
  // The folder exists but this process may not open it.
  bool refused() const { return refused_; }
  int fd() const { return ::dirfd(stream_); }
  // The next entry whose name does not begin with "."; nullptr at the end.
  const char* next() {
    while (const dirent* entry = ::readdir(stream_)) {
      if (entry->d_name[0] != '.')
        return entry->d_name;
    }
    return nullptr;
  }

 private:
  DIR* stream_ = nullptr;
  bool refused_ = false;
};

// The pid folders of /proc in byte order, the order in which the first holder is chosen.
std::vector<std::string> processFolders(Directory& proc) {
  std::vector<std::string> names;
  while (const char* name = proc.next()) {
    if (name[0] >= '0' && name[0] <= '9')
      names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The leading digits of a pid folder's name; -1 when they do not fit.
int pidOfFolder(const std::string& name) {
  int pid = -1;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  return error == std::errc() ? pid : -1;
}

// True when one of the tasks in `scanned` has the same descriptor table as `tid`. False also
// where kcmp is refused or missing: the thread's table is then read.
bool readSameTable(const std::vector<int>& scanned, int tid) {
  return std::any_of(scanned.begin(), scanned.end(), [tid](int task) {
    return ::syscall(SYS_kcmp, task, tid, KCMP_FILES, 0, 0) == 0;
  });
}

class HolderScan {
 public:
  HolderScan(const std::vector<std::string>& devicePaths, const FileSystemRoot& root,
             bool countEveryUnreadable)
      : devicePrefix_(root.path("/dev/")),
        procFolder_(root.path("/proc")),
        countEveryUnreadable_(countEveryUnreadable) {
    for (const std::string& path : devicePaths)
      needles_.push_back(needleFor(path, root));
    unsettled_ = needles_.size();
  }

  HolderScanResult run() {
    HolderScanResult result;
    if (unsettled_ > 0) {
      Directory proc(AT_FDCWD, procFolder_);
      if (proc.isOpen())
        scanProcesses(proc, result.unreadable);
    }
    for (const Needle& needle : needles_)
      result.holders.push_back(needle.holder);
    return result;
  }

 private:
  // Once every port has its holder, the other processes' folders are only opened, to count
  // those that refuse, and only when every such process is to be counted.
  void scanProcesses(Directory& proc, std::vector<UnreadProcess>& unreadable) {
    for (const std::string& name : processFolders(proc)) {
      if (unsettled_ == 0 && !countEveryUnreadable_)
        return;
      const int pid = pidOfFolder(name);
      if (pid < 0)
        continue;
      // The tasks whose tables have been read. A leader that has exited may keep a folder that
      // only root may open, while its threads' folders are still the user's.
      std::vector<int> scanned;
      Directory descriptors(proc.fd(), name + "/fd");
      bool refused = descriptors.refused();
      if (descriptors.isOpen() && unsettled_ > 0) {
        if (scanDescriptors(descriptors, pid))
          scanned.push_back(pid);
        else
          refused = true;
      }
      if (unsettled_ > 0 || refused)
        scanOtherThreadTables(proc.fd(), name, pid, scanned);
      if (refused && scanned.empty())
        noteUnreadable(proc.fd(), name, pid, unreadable);
    }
  }

  // A process whose descriptors stay unknown, with what its stat line tells; kernel threads,
  // which hold no files, and processes gone by now are left out.
  static void noteUnreadable(int proc, const std::string& name, int pid,
                             std::vector<UnreadProcess>& unreadable) {
    const std::optional<std::string> line = readSmallFileAt(proc, name + "/stat", 1024);
    const std::optional<ProcessStat> stat = line ? parseProcessStat(*line) : std::nullopt;
    if (stat && stat->kernelThread)
      return;
    struct stat folder {};
    if (!stat && ::fstatat(proc, name.c_str(), &folder, 0) != 0)
      return;
    unreadable.push_back({pid, stat ? stat->terminal : std::nullopt});
  }

  // Threads share the leader's table unless one took a table of its own or the leader has
  // exited (its table is then gone and only the threads' folders show the descriptors). Each
  // table is read once: a thread is skipped when it shares the table of a task already read.
  void scanOtherThreadTables(int proc, const std::string& name, int pid,
                             std::vector<int>& scanned) {
    const std::string taskFolder = name + "/task";
    // procfs counts a task folder's links as two plus its threads: one stat settles the
    // single-threaded processes, which are most of them.
    struct stat task {};
    if (::fstatat(proc, taskFolder.c_str(), &task, 0) != 0 || task.st_nlink <= 3)
      return;
    Directory threads(proc, taskFolder);
    if (!threads.isOpen())
      return;
    while (const char* tidName = threads.next()) {
      const int tid = pidOfFolder(tidName);
      if (name == tidName || readSameTable(scanned, tid))
        continue;
      Directory descriptors(threads.fd(), std::string(tidName) + "/fd");
      if (!descriptors.isOpen() || !scanDescriptors(descriptors, pid))
        continue;
      scanned.push_back(tid);
      if (unsettled_ == 0)
        return;
    }
  }

  // False when the links themselves are refused, as a security module may do for a folder that
  // opens: the process's descriptors then stay unknown.
  bool scanDescriptors(Directory& descriptors, int pid) {
    char target[kLinkBufferSize];
    while (const char* entry = descriptors.next()) {
      const ssize_t length = ::readlinkat(descriptors.fd(), entry, target, kLinkBufferSize - 1);
      if (length < 0 && (errno == EACCES || errno == EPERM))
        return false;
      // A target that fills the buffer may have been cut, so it proves nothing.
      if (length <= 0 || static_cast<size_t>(length) == kLinkBufferSize - 1)
        continue;
      matchDescriptor(descriptors.fd(), entry, std::string_view(target, length), pid);
      if (unsettled_ == 0)
        break;
    }
    return true;
  }

  // Stats the descriptor at most once, and only when its text names something under /dev/.
  void matchDescriptor(int folder, const char* entry, std::string_view text, int pid) {
    const bool underDev = text.substr(0, devicePrefix_.size()) == devicePrefix_;
    struct stat open {};
    enum { kNotYet, kDone, kFailed } statState = kNotYet;
    for (Needle& needle : needles_) {
      if (needle.holder >= 0)
        continue;
      bool held = false;
      if (needle.identified && underDev) {
        if (statState == kNotYet)
          statState = ::fstatat(folder, entry, &open, 0) == 0 ? kDone : kFailed;
        held = statState == kDone && sameDevice(needle, open);
      } else {
        held = text == needle.path;
      }
      if (held) {
        needle.holder = pid;
        --unsettled_;
      }
    }
  }

  const std::string devicePrefix_;
  const std::string procFolder_;
  const bool countEveryUnreadable_;
  std::vector<Needle> needles_;
  size_t unsettled_ = 0;
};

}  // namespace

HolderScanResult scanHolders(const std::vector<std::string>& devicePaths,
                             const FileSystemRoot& root, bool countEveryUnreadable) {
  return HolderScan(devicePaths, root, countEveryUnreadable).run();
}

std::vector<int> findHolderPids(const std::vector<std::string>& devicePaths,
                                const FileSystemRoot& root) {
  return scanHolders(devicePaths, root, false).holders;
}

std::optional<std::string> processCommand(int pid, const FileSystemRoot& root) {
  // The kernel keeps at most 15 bytes of a command name.
  std::optional<std::string> command =
      readSmallFile(root.path("/proc/" + std::to_string(pid) + "/comm"), 64);
  if (!command)
    return std::nullopt;
  if (!command->empty() && command->back() == '\n')
    command->pop_back();
  return command;
}

int findHolderPid(const std::string& devicePath, const FileSystemRoot& root) {
  return findHolderPids({devicePath}, root).front();
}

}  // namespace ttyenum
