#pragma once

#include <string_view>

#include "common/file_system_root.h"

namespace ttyenum {

// True when the mount table text (the format of /proc/self/mounts) shows the last mount on
// /proc to hide other users' processes from their folders' listing: hidepid=2, invisible, 4 or
// ptraceable.
bool mountsHideProcesses(std::string_view mountsText);

// The same for the root's /proc, from /proc/self/mounts.
bool procHidesProcesses(const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
