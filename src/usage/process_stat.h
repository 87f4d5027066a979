#pragma once

#include <optional>
#include <string_view>

#include "common/file_system_root.h"
#include "common/port_facts.h"

namespace ttyenum {

// What /proc/<pid>/stat, which every user may read, tells of a process that matters here.
struct ProcessStat {
  std::optional<DeviceNumber> terminal;  // its controlling terminal, when it has one
  bool kernelThread = false;             // a kernel thread, which holds no files
};

// The device number that a tty_nr value encodes: major in bits 8 to 19, minor in bits 0 to 7
// and 20 to 31. None for 0, a process without a controlling terminal.
std::optional<DeviceNumber> decodeTtyNumber(unsigned ttyNr);

// The fields of a /proc/<pid>/stat line: tty_nr is the seventh, flags the ninth. Fields are
// counted after the last ")", since the command name between parentheses may hold anything.
std::optional<ProcessStat> parseProcessStat(std::string_view statLine);

// The same for process `pid` read from the root's /proc; none when it cannot be read.
std::optional<ProcessStat> readProcessStat(int pid, const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
