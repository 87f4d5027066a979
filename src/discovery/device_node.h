#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/file_system_root.h"
#include "common/port_facts.h"

namespace ttyenum {

// What /dev says of the node at `devicePath` itself, from one stat: its device number (only for
// a character device), the name of its group (empty where the group id has none), and what this
// process may open it for, judged by its effective ids with faccessat(..., AT_EACCESS), never by
// opening it: "rw", "r", "w", or empty for neither. A missing node leaves all three unknown.
void describeNode(const std::string& devicePath, PortFacts& facts,
                  const FileSystemRoot& root = FileSystemRoot());

// The device number of the character device at `path`, after following links; none for a
// missing path or anything else than a character device. `path` may be relative.
std::optional<DeviceNumber> characterDeviceAt(const std::string& path,
                                              const FileSystemRoot& root = FileSystemRoot());

// A stable name that udev keeps for a node: a link under /dev/serial/by-id or by-path.
struct SerialLink {
  std::string link;  // such as /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
  std::string node;  // the path its target names, such as /dev/ttyUSB0
};

// Every link in /dev/serial/by-id and /dev/serial/by-path, sorted by link path. The target is
// resolved as text, relative to the link's folder, never through the file system.
std::vector<SerialLink> readSerialLinks(const FileSystemRoot& root = FileSystemRoot());

// The path a link's `target` names from `folder`, with "." and ".." components taken away.
std::string resolveLinkTarget(const std::string& folder, const std::string& target);

}  // namespace ttyenum
