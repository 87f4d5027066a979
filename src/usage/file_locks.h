#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/file_system_root.h"
#include "common/port_facts.h"

namespace ttyenum {

// A lock that some process holds on a file, as /proc/locks shows it.
struct FileLock {
  int pid = -1;         // the process that took it; -1 when unknown (a lock on an open file
                        // description, OFDLCK)
  DeviceNumber device;  // the device of the file system that holds the file
  unsigned long long inode = 0;

  bool operator==(const FileLock& other) const {
    return pid == other.pid && device.major == other.device.major &&
           device.minor == other.device.minor && inode == other.inode;
  }
};

// A held lock from one line of /proc/locks ("1: FLOCK  ADVISORY  WRITE 11809 00:06:91 0 EOF",
// major and minor in hex); none for a waiter ("1: -> FLOCK ..."), a lease or a line that does
// not parse. OFD locks give pid -1 whatever the line says.
std::optional<FileLock> parseFileLock(std::string_view line);

// The held FLOCK, POSIX and OFDLCK locks of /proc/locks, which every user may read.
std::vector<FileLock> readFileLocks(const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
