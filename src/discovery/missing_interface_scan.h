#pragma once

#include "common/file_system_root.h"
#include "common/missing_interface.h"
#include "discovery/module_index.h"

namespace ttyenum {

// The USB interfaces that a serial driver would serve but that have no port, in the byte order
// of their /sys/bus/usb/devices names. An interface counts when it has no driver or is bound to
// usbfs, and either its modalias resolves through `index` to a serial driver or its class is
// CDC ACM (02/02, protocol 00 to 06). Only such interfaces are looked up, so an index is read
// only when one is there. With `findClaimers`, /proc is walked once for the processes holding
// the usbfs-bound devices' /dev/bus/usb nodes; else such interfaces have no claimer.
MissingListing findMissingInterfaces(ModuleIndex& index, bool findClaimers,
                                     const FileSystemRoot& root = FileSystemRoot());

// True for a CDC ACM interface by its class, subclass and protocol attributes (hexadecimal, as
// sysfs writes them): 02, 02 and 00 to 06. RNDIS (protocol ff) and others are not.
bool isCdcAcmClass(const std::string& interfaceClass, const std::string& subclass,
                   const std::string& protocol);

}  // namespace ttyenum
