#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "common/file_system_root.h"
#include "common/port_facts.h"
#include "common/port_holder.h"
#include "common/port_info.h"

namespace ttyenum {

// Lists the serial ports of the machine: /dev/ttyS*, then /dev/ttyUSB*, then /dev/ttyACM*, then
// /dev/ttyAMA*, then the other entries of /sys/class/tty that have a /dev node, each group in
// byte order of the names, keeping the nodes that sysfs shows to be real hardware. Nothing is
// opened.
class PortEnumerator {
 public:
  explicit PortEnumerator(FileSystemRoot root = FileSystemRoot());
  ~PortEnumerator();
  PortEnumerator(const PortEnumerator&) = delete;
  PortEnumerator& operator=(const PortEnumerator&) = delete;

  // Appends one record per accepted node to `ports`; returns how many it appended. The holders
  // of all appended ports are found in one scan of /proc.
  size_t enumerate(std::vector<PortInfo>& ports);
  // The same, with the facts of each port at the same index of `facts` (first resized to
  // `ports`, so that the two lists stay aligned). Of the facts that cost reads of their own
  // (holder commands, stable links, the node's device number, group and access), only those
  // that `needs` names are read; the others stay unknown.
  size_t enumerate(std::vector<PortInfo>& ports, std::vector<PortFacts>& facts,
                   const FactNeeds& needs = FactNeeds::all());

  // What the holder scan of the last enumerate could see of the machine's processes.
  HolderCoverage holderCoverage() const;

  // The root that the enumerator reads.
  const FileSystemRoot& root() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ttyenum
