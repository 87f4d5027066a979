#include "common/missing_interface.h"

namespace ttyenum {

std::string missingReasonText(const MissingInterface& interface) {
  const std::string& module = interface.reasonModule;
  switch (interface.reason) {
    case MissingReason::kClaimed:
      if (interface.claimedBy)
        return "claimed by a program through usbfs: " + interface.claimedBy->command + " (pid " +
               std::to_string(interface.claimedBy->pid) + ")";
      return "claimed by a program through usbfs (run as root to see which)";
    case MissingReason::kModuleLoaded:
      return "no driver bound; " + module + " is loaded";
    case MissingReason::kModuleNotLoaded:
      return "no driver bound; " + module + " is not loaded (modprobe " + module + ")";
    case MissingReason::kNoDriver:
      break;
  }
  return "no driver bound";
}

}  // namespace ttyenum
