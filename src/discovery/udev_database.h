#pragma once

#include <string>

#include "common/file_system_root.h"
#include "common/port_facts.h"

namespace ttyenum {

// True when udev runs: its control socket /run/udev/control exists.
bool udevRuns(const FileSystemRoot& root = FileSystemRoot());

// True when udev has finished with the character device `device`: its database entry
// /run/udev/data/c<major>:<minor> exists.
bool udevHasEntry(const DeviceNumber& device, const FileSystemRoot& root = FileSystemRoot());

// The value of the first "E:<key>=" line of the database entry of the character device
// `majorMinor` ("188:0"); empty when there is no such entry or line.
std::string udevProperty(const std::string& majorMinor, const std::string& key,
                         const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
