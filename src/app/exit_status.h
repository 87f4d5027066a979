#pragma once

namespace ttyenum {

// Exit statuses: every listing, -h and -v succeed, and so does a watch that a signal ends; output
// that cannot be written (or a watch with nothing to watch) and a command line that is rejected
// (by the parser or for a bad --list or --state value) fail.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitWriteError = 1;
inline constexpr int kExitUsage = 2;

}  // namespace ttyenum
