#include "usage/process_stat.h"

#include <algorithm>
#include <string>

#include "common/small_file.h"
#include "common/whole_number.h"

namespace ttyenum {

namespace {

constexpr unsigned kKernelThreadFlag = 0x00200000;  // PF_KTHREAD

// Fields after the ")": state, ppid, pgrp, session, tty_nr, tpgid, flags.
constexpr int kTtyField = 4;
constexpr int kFlagsField = 6;

}  // namespace

std::optional<DeviceNumber> decodeTtyNumber(unsigned ttyNr) {
  if (ttyNr == 0)
    return std::nullopt;
  return DeviceNumber{(ttyNr >> 8) & 0xfff, (ttyNr & 0xff) | ((ttyNr >> 12) & 0xfff00)};
}

std::optional<ProcessStat> parseProcessStat(std::string_view statLine) {
  const size_t close = statLine.rfind(')');
  if (close == std::string_view::npos)
    return std::nullopt;
  std::string_view rest = statLine.substr(close + 1);
  std::string_view fields[kFlagsField + 1];
  for (std::string_view& field : fields) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos)
      return std::nullopt;
    rest.remove_prefix(start);
    const size_t end = std::min(rest.size(), rest.find_first_of(" \n"));
    field = rest.substr(0, end);
    rest.remove_prefix(end);
  }
  // The kernel writes tty_nr as a signed number; its bits are what count.
  int ttyNr = 0;
  unsigned flags = 0;
  if (!parseWholeNumber(fields[kTtyField], ttyNr) || !parseWholeNumber(fields[kFlagsField], flags))
    return std::nullopt;
  return ProcessStat{decodeTtyNumber(static_cast<unsigned>(ttyNr)),
                     (flags & kKernelThreadFlag) != 0};
}

std::optional<ProcessStat> readProcessStat(int pid, const FileSystemRoot& root) {
  // A stat line is a few hundred bytes, the command name in it at most 64.
  const std::optional<std::string> line =
      readSmallFile(root.path("/proc/" + std::to_string(pid) + "/stat"), 1024);
  if (!line)
    return std::nullopt;
  return parseProcessStat(*line);
}

}  // namespace ttyenum
