#include "usage/port_holders.h"

#include <gtest/gtest.h>

#include <tuple>

namespace ttyenum {
namespace {

TEST(ChooseHolder, StrongestEvidenceThenKnownPidThenTextOrder) {
  constexpr HolderVia D = HolderVia::kDescriptor, T = HolderVia::kControllingTerminal,
                      L = HolderVia::kLock, F = HolderVia::kLockFile;
  const std::tuple<const char*, std::vector<HolderClaim>, std::optional<HolderClaim>> rows[] = {
      {"nothing", {}, std::nullopt},
      {"a descriptor beats all", {{F, 5}, {L, 6}, {T, 7}, {D, 8}}, HolderClaim{D, 8}},
      {"terminal before lock", {{L, 6}, {T, 7}}, HolderClaim{T, 7}},
      {"lock before lock file", {{F, 5}, {L, 60}}, HolderClaim{L, 60}},
      {"a known pid before an unknown one", {{L, -1}, {L, 900}}, HolderClaim{L, 900}},
      {"pids in text order, as /proc lists them", {{L, 99}, {L, 1000}}, HolderClaim{L, 1000}},
      {"an unknown pid alone", {{L, -1}}, HolderClaim{L, -1}},
  };
  for (const auto& [what, claims, shown] : rows) {
    SCOPED_TRACE(what);
    EXPECT_EQ(chooseHolder(claims), shown);
  }
}

}  // namespace
}  // namespace ttyenum
