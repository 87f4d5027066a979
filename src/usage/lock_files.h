#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system_root.h"

namespace ttyenum {

// A lock file LCK..<name> that a program keeps while it uses /dev/<name>.
struct LockFile {
  std::string name;  // the node's name, such as ttyUSB0
  int pid = -1;      // the process the file names

  bool operator==(const LockFile& other) const { return name == other.name && pid == other.pid; }
};

// The pid a lock file's bytes name: ASCII decimal with spaces and line feeds around it, or, for
// exactly four bytes that are not all digits, spaces and line feeds, a binary int in host
// order. None for anything else, zero and negative numbers included.
std::optional<int> parseLockFilePid(std::string_view bytes);

// The lock files of /run/lock, /var/lock and /var/spool/uucp, each folder listed once (once in
// all when they are the same folder). A lock file that is a symbolic link or not a regular file
// is ignored; at most 64 bytes of each are read. Whether its process still lives is left to
// the caller.
std::vector<LockFile> readLockFiles(const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
