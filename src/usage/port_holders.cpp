#include "usage/port_holders.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <tuple>

#include "usage/file_locks.h"
#include "usage/lock_files.h"
#include "usage/open_handle_scan.h"
#include "usage/proc_visibility.h"

namespace ttyenum {

namespace {

// The kinds of evidence, strongest first.
const HolderVia kHolderOrder[] = {HolderVia::kDescriptor, HolderVia::kControllingTerminal,
                                  HolderVia::kLock, HolderVia::kLockFile};

auto holderRank(const HolderClaim& claim) {
  const auto rank = std::find(std::begin(kHolderOrder), std::end(kHolderOrder), claim.via) -
                    std::begin(kHolderOrder);
  return std::make_tuple(rank, claim.pid < 0, std::to_string(claim.pid));
}

// The process still exists, whoever owns it.
bool processLives(int pid) {
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Which processes the evidence may speak for: those whose descriptors the scan could not read.
class UnreadProcesses {
 public:
  UnreadProcesses(const HolderScanResult& scan, bool hidden, const FileSystemRoot& root)
      : scan_(scan), hidden_(hidden), root_(root) {}

  // A process the scan saw but could not read, or one that /proc hides from this process.
  bool contains(int pid) const {
    if (pid <= 0)
      return false;
    if (std::any_of(scan_.unreadable.begin(), scan_.unreadable.end(),
                    [pid](const UnreadProcess& process) { return process.pid == pid; }))
      return true;
    struct stat folder {};
    return hidden_ && processLives(pid) &&
           ::stat(root_.path("/proc/" + std::to_string(pid)).c_str(), &folder) != 0;
  }

 private:
  const HolderScanResult& scan_;
  bool hidden_;
  const FileSystemRoot& root_;
};

// The evidence that every user may read, gathered once for all ports of a listing.
struct SharedEvidence {
  std::vector<FileLock> locks;
  std::vector<LockFile> lockFiles;
};

void addTerminalClaims(const struct stat& node, const HolderScanResult& scan,
                       std::vector<HolderClaim>& claims) {
  if (!S_ISCHR(node.st_mode))
    return;
  for (const UnreadProcess& process : scan.unreadable) {
    if (process.terminal && process.terminal->major == major(node.st_rdev) &&
        process.terminal->minor == minor(node.st_rdev))
      claims.push_back({HolderVia::kControllingTerminal, process.pid});
  }
}

// A lock on an open file description names no process; it counts because some process could
// not be read.
void addLockClaims(const struct stat& node, const std::vector<FileLock>& locks,
                   const UnreadProcesses& unread, std::vector<HolderClaim>& claims) {
  for (const FileLock& lock : locks) {
    if (lock.device.major == major(node.st_dev) && lock.device.minor == minor(node.st_dev) &&
        lock.inode == node.st_ino && (lock.pid < 0 || unread.contains(lock.pid)))
      claims.push_back({HolderVia::kLock, lock.pid});
  }
}

void addLockFileClaims(const std::string& devicePath, const std::vector<LockFile>& lockFiles,
                       const UnreadProcesses& unread, std::vector<HolderClaim>& claims) {
  const std::string name = devicePath.substr(devicePath.rfind('/') + 1);
  for (const LockFile& file : lockFiles) {
    if (file.name == name && processLives(file.pid) && unread.contains(file.pid))
      claims.push_back({HolderVia::kLockFile, file.pid});
  }
}

}  // namespace

std::optional<HolderClaim> chooseHolder(const std::vector<HolderClaim>& claims) {
  const auto first = std::min_element(
      claims.begin(), claims.end(),
      [](const HolderClaim& a, const HolderClaim& b) { return holderRank(a) < holderRank(b); });
  if (first == claims.end())
    return std::nullopt;
  return *first;
}

PortHolders findPortHolders(const std::vector<std::string>& devicePaths, const FileSystemRoot& root,
                            bool countEveryUnreadable) {
  const HolderScanResult scan = scanHolders(devicePaths, root, countEveryUnreadable);
  PortHolders result;
  const bool hidden = !devicePaths.empty() && ::geteuid() != 0 && procHidesProcesses(root);
  result.coverage = {scan.unreadable.empty() && !hidden, scan.unreadable.size()};
  const UnreadProcesses unread(scan, hidden, root);
  std::optional<SharedEvidence> shared;
  for (size_t i = 0; i < devicePaths.size(); ++i) {
    std::vector<HolderClaim> claims;
    if (scan.holders[i] >= 0)
      claims.push_back({HolderVia::kDescriptor, scan.holders[i]});
    else if (!result.coverage.complete) {
      if (!shared)
        shared = SharedEvidence{readFileLocks(root), readLockFiles(root)};
      struct stat node {};
      if (::stat(root.path(devicePaths[i]).c_str(), &node) == 0) {
        addTerminalClaims(node, scan, claims);
        addLockClaims(node, shared->locks, unread, claims);
      }
      addLockFileClaims(devicePaths[i], shared->lockFiles, unread, claims);
    }
    result.holders.push_back(chooseHolder(claims));
  }
  return result;
}

}  // namespace ttyenum
