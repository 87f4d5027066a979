#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/file_system_root.h"

namespace ttyenum {

// The kernel names of the terminals the kernel writes its messages to, from
// /sys/class/tty/console/active (blank-separated, such as "tty0 ttyS0"); empty when it cannot be
// read.
std::vector<std::string> readConsoleNames(const FileSystemRoot& root = FileSystemRoot());

// True when the node `devicePath` (such as /dev/ttyS0) is named in `consoles`.
bool isConsole(std::string_view devicePath, const std::vector<std::string>& consoles);

}  // namespace ttyenum
