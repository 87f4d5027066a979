#include "usage/port_holders.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

using Via = HolderVia;

struct ChoiceRow {
  const char* what;
  std::vector<HolderClaim> claims;
  std::optional<HolderClaim> shown;
};

TEST(ChooseHolder, StrongestEvidenceThenKnownPidThenTextOrder) {
  const ChoiceRow rows[] = {
      {"nothing", {}, std::nullopt},
      {"a descriptor beats all",
       {{Via::kLockFile, 5},
        {Via::kLock, 6},
        {Via::kControllingTerminal, 7},
        {Via::kDescriptor, 8}},
       HolderClaim{Via::kDescriptor, 8}},
      {"terminal before lock",
       {{Via::kLock, 6}, {Via::kControllingTerminal, 7}},
       HolderClaim{Via::kControllingTerminal, 7}},
      {"lock before lock file",
       {{Via::kLockFile, 5}, {Via::kLock, 60}},
       HolderClaim{Via::kLock, 60}},
      {"a known pid before an unknown one",
       {{Via::kLock, -1}, {Via::kLock, 900}},
       HolderClaim{Via::kLock, 900}},
      {"pids in text order, as /proc lists them",
       {{Via::kLock, 99}, {Via::kLock, 1000}},
       HolderClaim{Via::kLock, 1000}},
      {"an unknown pid alone", {{Via::kLock, -1}}, HolderClaim{Via::kLock, -1}},
  };
  for (const ChoiceRow& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(chooseHolder(row.claims), row.shown);
  }
}

}  // namespace
}  // namespace ttyenum
