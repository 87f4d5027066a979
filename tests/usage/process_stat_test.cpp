#include "usage/process_stat.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

struct StatRow {
  const char* line;
  bool parses;
  bool hasTerminal;
  unsigned major, minor;
  bool kernelThread;
};

TEST(ProcessStat, DecodesTheControllingTerminalAndTheKernelThreadFlag) {
  const StatRow rows[] = {
      // ttyS0: 4:64.
      {"812 (getty) S 1 812 812 1088 812 4194560 99", true, true, 4, 64, false},
      // /dev/pts/3: 136:3.
      {"9 (bash) S 8 9 9 34819 9 4194304 1", true, true, 136, 3, false},
      // A minor past 255 (ttyUSB300 as 188:300) keeps its high bits above bit 20.
      {"9 (sleep) S 8 9 9 1096748 9 0 1", true, true, 188, 300, false},
      // A command name holding ") " and digits; no terminal; a kernel thread.
      {"2 (a) 1 2 3 (b) S 0 0 0 0 -1 2129984 0", true, false, 0, 0, true},
      {"77 (cut) S 1 77", false, false, 0, 0, false},
      {"77 cut S 1 77 77 0 -1 0", false, false, 0, 0, false},
  };
  for (const StatRow& row : rows) {
    SCOPED_TRACE(row.line);
    const std::optional<ProcessStat> stat = parseProcessStat(row.line);
    ASSERT_EQ(stat.has_value(), row.parses);
    if (!row.parses)
      continue;
    ASSERT_EQ(stat->terminal.has_value(), row.hasTerminal);
    if (row.hasTerminal) {
      EXPECT_EQ(stat->terminal->text(), (DeviceNumber{row.major, row.minor}.text()));
    }
    EXPECT_EQ(stat->kernelThread, row.kernelThread);
  }
}

}  // namespace
}  // namespace ttyenum
