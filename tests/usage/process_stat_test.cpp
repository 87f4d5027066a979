#include "usage/process_stat.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

// A stat line in short: its terminal's device number or "-", and "kernel" for a kernel thread.
std::string describe(const std::optional<ProcessStat>& stat) {
  return stat ? (stat->terminal ? stat->terminal->text() : "-") +
                    (stat->kernelThread ? " kernel" : "")
              : "unparsed";
}

TEST(ProcessStat, DecodesTheControllingTerminalAndTheKernelThreadFlag) {
  const std::pair<const char*, const char*> rows[] = {
      {"812 (getty) S 1 812 812 1088 812 4194560 99", "4:64"},  // ttyS0
      {"9 (sleep) S 8 9 9 1096748 9 0 1", "188:300"},          // ttyUSB300: minor bits above bit 20
      {"2 (a) 1 2 3 (b) S 0 0 0 0 -1 2129984 0", "- kernel"},  // ") " inside the name
      {"77 (cut) S 1 77", "unparsed"},
  };
  for (const auto& [line, expected] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(describe(parseProcessStat(line)), expected);
  }
}

}  // namespace
}  // namespace ttyenum
