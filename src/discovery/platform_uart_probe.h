#pragma once

#include <string>

#include "common/file_system_root.h"
#include "common/port_facts.h"
#include "common/port_info.h"

namespace ttyenum {

// Judges a UART's tty node (/dev/ttyS*, /dev/ttyAMA*, or another name whose device is on no USB
// bus) from the hardware device behind it, in this order: a readable "resources" file makes it a
// Plug and Play port; a device on the amba bus an AMBA port; a readable "resource" file a PCI
// port; a platform device with an of_node or firmware_node link, other than the legacy
// serial8250 device, a platform port; a device on the spi or i2c bus with such a link an SPI or
// I2C port. Anything else is rejected and `port` stays untouched. An accepted port gets all nine
// fields (inUse false: holders are the scan's business) and `facts` its kind. Where the node's
// device is a serial-core port device (Linux 6.5 and later), the hardware device is the one two
// levels above.
bool probePlatformUart(const std::string& devicePath, PortInfo& port, PortFacts& facts,
                       const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
