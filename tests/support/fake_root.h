#pragma once

#include <string>

#include "common/file_system_root.h"
#include "common/port_info.h"

namespace ttyenum::testing {

// A temporary folder that stands for "/" in a test: real files, real folders and real
// (usually relative) symbolic links, removed again when the fixture goes away.
class FakeRoot {
 public:
  FakeRoot();
  ~FakeRoot();
  FakeRoot(const FakeRoot&) = delete;
  FakeRoot& operator=(const FakeRoot&) = delete;

  // Writes `text` to the logical path, creating its folders. Keep sysfs's final newlines.
  void file(const std::string& logicalPath, const std::string& text);
  // Creates a symbolic link at the logical path whose target is `target`, taken literally.
  void link(const std::string& logicalPath, const std::string& target);
  void folder(const std::string& logicalPath);
  // An empty placeholder for a device node: /dev/<name>.
  void node(const std::string& name);
  // Unpacks tests/fixtures/<name>.tar.gz (one folder holding sys/ and dev/) into the root.
  void unpackFixture(const std::string& name);

  // The real path of a logical one.
  std::string path(const std::string& logicalPath) const { return folder_ + logicalPath; }
  const std::string& folder() const { return folder_; }
  FileSystemRoot root() const { return FileSystemRoot(folder_); }

 private:
  std::string folder_;
};

// An FTDI adapter's record as sysfs describes one: every text field set.
PortInfo ftdiPort(const std::string& portName, bool inUse = false);

// All nine fields of a record on one line, texts quoted so blanks show; for whole-record checks.
std::string recordText(const PortInfo& port);

}  // namespace ttyenum::testing
