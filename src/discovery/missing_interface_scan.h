#pragma once

#include "common/file_system_root.h"
#include "common/missing_interface.h"
#include "discovery/module_index.h"

namespace ttyenum {

enum class MissingDetail {
  kNames,  // only the interface names: enough to count them
  kFull,   // everything, the modules, the reason and the claimer too
};

// The USB interfaces that a serial driver would serve but that have no port, in the byte order
// of their /sys/bus/usb/devices names. An interface counts when it has no driver or is bound to
// usbfs, and either its modalias resolves through `index` to a serial driver or its class is
// CDC ACM (02/02, protocol 00 to 06). Only such interfaces are looked up (with kNames, only
// those that the class does not settle), so an index is read only when one needs it. kFull
// walks /proc once for the processes holding the usbfs-bound devices' /dev/bus/usb nodes.
MissingListing findMissingInterfaces(ModuleIndex& index, MissingDetail detail,
                                     const FileSystemRoot& root = FileSystemRoot());

// True for a CDC ACM interface by its class, subclass and protocol attributes (hexadecimal, as
// sysfs writes them): 02, 02 and 00 to 06. RNDIS (protocol ff) and others are not.
bool isCdcAcmClass(const std::string& interfaceClass, const std::string& subclass,
                   const std::string& protocol);

}  // namespace ttyenum
