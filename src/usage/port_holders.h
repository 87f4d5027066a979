#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/file_system_root.h"
#include "common/port_holder.h"

namespace ttyenum {

// The holder a port shows among the claims on it: a descriptor first, then the controlling
// terminal, then a lock, then a lock file; within one kind a known pid before an unknown one,
// then the first pid in the text order of the /proc/<pid> names. None without claims.
std::optional<HolderClaim> chooseHolder(const std::vector<HolderClaim>& claims);

struct PortHolders {
  std::vector<std::optional<HolderClaim>> holders;  // at the index of each device path
  HolderCoverage coverage;
};

// Who holds each of `devicePaths`, from one scan of /proc. Descriptors decide for every process
// whose descriptors could be read. For the others (folders that refused, processes that /proc
// hides) what every user may read counts as well: their controlling terminal, /proc/locks and
// the lock files of the lock folders, each read once. When every process could be read,
// nothing beyond the descriptors is read. The coverage counts every unreadable process only with
// `countEveryUnreadable`; otherwise the scan may stop once every path has a holder.
PortHolders findPortHolders(const std::vector<std::string>& devicePaths,
                            const FileSystemRoot& root = FileSystemRoot(),
                            bool countEveryUnreadable = true);

}  // namespace ttyenum
