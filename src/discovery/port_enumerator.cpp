#include "discovery/port_enumerator.h"

#include <string>
#include <utility>

#include "discovery/device_node.h"
#include "discovery/platform_uart_probe.h"
#include "discovery/usb_port_probe.h"
#include "usage/open_handle_scan.h"

namespace ttyenum {

namespace {

using Probe = bool (*)(const std::string&, PortInfo&, PortFacts&, const FileSystemRoot&);

struct PatternEntry {
  const char* pattern;
  Probe probe;
};

// Listing order: on-board and PCI UARTs, then USB serial adapters, then CDC ACM devices, then
// the PL011 UARTs of ARM boards.
const PatternEntry kPatterns[] = {
    {"/dev/ttyS*", probePlatformUart},
    {"/dev/ttyUSB*", probeUsbPort},
    {"/dev/ttyACM*", probeUsbPort},
    {"/dev/ttyAMA*", probePlatformUart},
};

}  // namespace

class PortEnumerator::Impl {
 public:
  explicit Impl(FileSystemRoot root) : root_(std::move(root)) {}

  // `needs` names the facts beyond the probes' own reads that the caller will show.
  size_t enumerate(std::vector<PortInfo>& ports, std::vector<PortFacts>& facts,
                   const FactNeeds& needs) {
    facts.resize(ports.size());
    const size_t first = ports.size();
    std::vector<std::string> paths;
    for (const PatternEntry& entry : kPatterns) {
      globPaths(entry.pattern, paths);
      for (const std::string& path : paths) {
        PortInfo record;
        PortFacts recordFacts;
        if (entry.probe(path, record, recordFacts, root_)) {
          ports.push_back(record);
          facts.push_back(recordFacts);
        }
      }
      paths.clear();
    }
    markHolders(ports, facts, first);
    if (needs.holderCommand)
      nameHolders(facts, first);
    if (needs.links)
      linkNodes(ports, facts, first);
    if (needs.node)
      describeNodes(ports, facts, first);
    return ports.size() - first;
  }

  // Appends the matches of `pattern` in glob's order, which is byte order since the process
  // locale is never changed; returns their number, 0 when glob reports anything but success.
  size_t globPaths(const std::string& pattern, std::vector<std::string>& paths) {
    const size_t before = paths.size();
    if (!root_.glob(pattern, paths))
      return 0;
    return paths.size() - before;
  }

 private:
  // One scan of /proc for every port from `first` on; the probes never scan.
  void markHolders(std::vector<PortInfo>& ports, std::vector<PortFacts>& facts, size_t first) {
    std::vector<std::string> devicePaths;
    for (size_t i = first; i < ports.size(); ++i)
      devicePaths.push_back(ports[i].portName);
    const std::vector<int> holders = findHolderPids(devicePaths, root_);
    for (size_t i = first; i < ports.size(); ++i) {
      facts[i].holderPid = holders[i - first];
      ports[i].inUse = facts[i].holderPid >= 0;
    }
  }

  void nameHolders(std::vector<PortFacts>& facts, size_t first) {
    for (size_t i = first; i < facts.size(); ++i) {
      if (facts[i].holderPid >= 0)
        facts[i].holderCommand = processCommand(facts[i].holderPid, root_);
    }
  }

  // The stable links that lead to each node.
  void linkNodes(const std::vector<PortInfo>& ports, std::vector<PortFacts>& facts, size_t first) {
    const std::vector<SerialLink> links = readSerialLinks(root_);
    for (size_t i = first; i < ports.size(); ++i) {
      for (const SerialLink& link : links) {
        if (link.node == ports[i].portName)
          facts[i].links.push_back(link.link);
      }
    }
  }

  // What /dev says of each node itself: its device number, its group and what this process may
  // open it for.
  void describeNodes(const std::vector<PortInfo>& ports, std::vector<PortFacts>& facts,
                     size_t first) {
    for (size_t i = first; i < ports.size(); ++i) {
      facts[i].device = deviceNumberOf(ports[i].portName, root_);
      facts[i].group = groupNameOf(ports[i].portName, root_);
      facts[i].access = accessOf(ports[i].portName, root_);
    }
  }

  FileSystemRoot root_;
};

PortEnumerator::PortEnumerator(FileSystemRoot root) : impl_(new Impl(std::move(root))) {}
PortEnumerator::~PortEnumerator() = default;
size_t PortEnumerator::enumerate(std::vector<PortInfo>& ports) {
  std::vector<PortFacts> facts;
  return impl_->enumerate(ports, facts, FactNeeds());
}
size_t PortEnumerator::enumerate(std::vector<PortInfo>& ports, std::vector<PortFacts>& facts,
                                 const FactNeeds& needs) {
  return impl_->enumerate(ports, facts, needs);
}

}  // namespace ttyenum
