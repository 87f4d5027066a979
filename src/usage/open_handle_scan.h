#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/file_system_root.h"
#include "common/port_facts.h"

namespace ttyenum {

// For each device path, at the same index, the id of the first process (in the byte order of the
// /proc/<pid> names) that holds the device open, or -1. /proc is walked once for all paths.
//
// A descriptor holds a device when it refers to the same device as the node: for a character
// device node, a character device with the same device number, whatever its name (a container
// may have opened it as /dev/ttyACM5); for any other node, the same file. Only descriptors whose
// link text lies under the root's /dev/ are stat'ed, so an open file on a hung network or FUSE
// mount is never touched; every other descriptor, and every node that cannot be stat'ed, is
// matched by link text equal to the path. Threads with a descriptor table of their own, and
// those of a process whose main thread has exited, are looked at too. Processes whose
// descriptor folder cannot be read are skipped; the caller's own descriptors count.
std::vector<int> findHolderPids(const std::vector<std::string>& devicePaths,
                                const FileSystemRoot& root = FileSystemRoot());

// A process whose descriptor folder exists but refused to open, as other users' processes do
// for an ordinary user.
struct UnreadProcess {
  int pid = -1;
  std::optional<DeviceNumber> terminal;  // its controlling terminal, from /proc/<pid>/stat
};

struct HolderScanResult {
  std::vector<int> holders;  // as findHolderPids gives them
  // The processes whose descriptors could not be read, in the scan's order; kernel threads
  // (which hold no files) and processes that vanished meanwhile are left out.
  std::vector<UnreadProcess> unreadable;
};

// findHolderPids, also telling which processes it could not look into. /proc is not read when
// there are no paths.
// With `countEveryUnreadable` false the scan stops once every path has its holder, so that
// `unreadable` holds only the processes met before.
HolderScanResult scanHolders(const std::vector<std::string>& devicePaths,
                             const FileSystemRoot& root = FileSystemRoot(),
                             bool countEveryUnreadable = true);

// The command name of process `pid` (/proc/<pid>/comm less its line feed); none when the file
// cannot be read, as when the process has gone.
std::optional<std::string> processCommand(int pid, const FileSystemRoot& root = FileSystemRoot());

// findHolderPids for one path.
int findHolderPid(const std::string& devicePath, const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
