#pragma once

#include <string>

#include "common/file_system_root.h"
#include "common/port_facts.h"
#include "common/port_info.h"

namespace ttyenum {

// Judges a /dev/ttyS* node from the hardware device behind it: a readable "resources" file makes
// it a Plug and Play port, else a readable "resource" file a PCI port; anything else is rejected
// and `port` stays untouched. An accepted port gets all nine fields (inUse false: holders are the
// scan's business) and `facts` its kind. Where the node's device is a serial-core port device
// (Linux 6.5 and later), the hardware device is the one two levels above.
bool probePlatformUart(const std::string& devicePath, PortInfo& port, PortFacts& facts,
                       const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
