#pragma once

#include <string>

#include "common/file_system_root.h"
#include "common/udev_rule_facts.h"

namespace ttyenum {

// The facts a udev rule for the node at `portPath` (such as /dev/ttyUSB0) can match on: for a
// USB port the USB device's ids and serial, whether another device under /sys/bus/usb/devices
// with the same ids shares that serial, the interface and the usb-serial port; the ID_PATH of
// /run/udev/data/c<major>:<minor> and the port's /dev/serial/by-path link. Reads nothing more
// for a port that is not on USB than its kernel name.
UdevRuleFacts readUdevRuleFacts(const std::string& portPath,
                                const FileSystemRoot& root = FileSystemRoot());

}  // namespace ttyenum
