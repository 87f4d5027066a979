#pragma once

#include <optional>
#include <string>

#include "common/file_system_root.h"
#include "common/port_facts.h"
#include "common/port_info.h"

namespace ttyenum {

// Judges a /dev/ttyUSB* or /dev/ttyACM* node from its tty class link. True when the link names a
// device on a USB bus; `record` then holds all nine fields (inUse false: holders are the scan's
// business) and `facts` the port's kind, USB location and interface number. False leaves both
// untouched.
bool probeUsbPort(const std::string& portPath, PortInfo& record, PortFacts& facts,
                  const FileSystemRoot& root = FileSystemRoot());

// Fills in the bus number and device address of the USB device at `facts.usbLocation` from its
// busnum and devnum files; a value that cannot be read stays unknown.
void readUsbAddress(PortFacts& facts, const FileSystemRoot& root = FileSystemRoot());

// Attribute `name` of the USB device that owns the port's interface (see owningUsbDevice), read
// from /sys/bus/usb/devices/<device>/<name>. Empty when there is no such device or no such text;
// a hub further up the path is never asked.
std::string readUsbAttribute(const std::string& usbPath, const std::string& name,
                             const FileSystemRoot& root = FileSystemRoot());

// The USB path inside the text of a tty class link: from six characters after the first "/usb"
// (past a bus component such as /usb1/) through the "/" of the first "/tty", or to the end of the
// text when that "/tty" comes earlier. False when either search fails or fewer than six
// characters follow the start of "/usb". Reads nothing outside `linkText`.
bool usbPathFromLinkText(const std::string& linkText, std::string& usbPath);

// The last component of a USB path (split at "/") that names a device rather than an interface:
// non-empty and without ":". Empty when there is none.
std::string owningUsbDevice(const std::string& usbPath);

// The last component of a USB path that names an interface (with a ":", such as 1-1.4:1.0);
// empty when there is none.
std::string owningUsbInterface(const std::string& usbPath);

// The bInterfaceNumber of that interface, which sysfs writes in hexadecimal; none when it is
// missing or no number.
std::optional<unsigned> usbInterfaceNumber(const std::string& usbPath,
                                           const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
