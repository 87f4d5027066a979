#pragma once

#include <string>
#include <vector>

#include "common/file_system_root.h"

namespace ttyenum {

// The id of the first process, in the text order of /proc/<pid>/fd, that has a descriptor whose
// link target is exactly `devicePath`; -1 when none is found or /proc cannot be listed.
// Processes whose descriptor folder the caller may not read and search are skipped.
int findHolderPid(const std::string& devicePath, const FileSystemRoot& root = FileSystemRoot());

// findHolderPid for each device path, at the same index.
std::vector<int> findHolderPids(const std::vector<std::string>& devicePaths,
                                const FileSystemRoot& root = FileSystemRoot());

// True as soon as one link matched by `linkPattern` (a logical glob pattern) has a target that
// equals `needle` byte for byte.
bool linkTargetsContain(const std::string& linkPattern, const std::string& needle,
                        const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
