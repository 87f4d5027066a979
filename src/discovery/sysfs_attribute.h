#pragma once

#include <string>

#include "common/file_system_root.h"

namespace ttyenum {

// Reads an attribute file: the whole content up to the first NUL byte (plain mode), or in
// key=value mode the value of the first "=" up to the end of its line. One final newline is
// removed. Only regular files are read, never more than their first 64 KiB, and opening one
// never waits. Empty text when the file is missing, unreadable, empty or not a regular file.
std::string readSysfsAttribute(const std::string& path, bool keyValue,
                               const FileSystemRoot& root = FileSystemRoot());

// The text rules of readSysfsAttribute applied to bytes already read.
std::string attributeText(const std::string& content, bool keyValue);

// The DRIVER= value of the uevent file of the device behind a tty node such as /dev/ttyUSB0;
// empty when there is none.
std::string ttyDriverName(const std::string& devicePath,
                          const FileSystemRoot& root = FileSystemRoot());

// The DRIVER= value of the uevent file in a device folder (given with its trailing slash),
// wherever its line stands; empty when there is none.
std::string deviceDriverName(const std::string& deviceFolder,
                             const FileSystemRoot& root = FileSystemRoot());

// The text after the first "DRIVER=" up to the end of its line; empty when there is none.
std::string driverFromUevent(const std::string& ueventText);

// The id without a leading lowercase "0x".
std::string stripHexPrefix(const std::string& text);

// The target of the symbolic link at a logical path, exactly as readlink gives it (cut at 4096
// bytes); false when the path is missing, is no link or cannot be read.
bool readLinkText(const std::string& logicalPath, std::string& linkText,
                  const FileSystemRoot& root = FileSystemRoot());

// The bus (or class) of the device in `deviceFolder` (given with its trailing slash): the text
// after the last "/" of its "subsystem" link, such as "platform" or "usb". Empty when the link is
// missing or its text has no "/". Only the link's text is read; its target need not exist.
std::string deviceSubsystem(const std::string& deviceFolder,
                            const FileSystemRoot& root = FileSystemRoot());

// The node's tty class entry: "/sys/class/tty" followed by the device path less its first four
// characters (/dev/ttyS0 gives /sys/class/tty/ttyS0). Empty for a path shorter than that.
std::string ttyClassEntry(const std::string& devicePath);

}  // namespace ttyenum
