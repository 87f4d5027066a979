#include "discovery/port_enumerator.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "discovery/device_node.h"
#include "discovery/platform_uart_probe.h"
#include "discovery/sysfs_attribute.h"
#include "discovery/usb_port_probe.h"
#include "usage/console_list.h"
#include "usage/open_handle_scan.h"
#include "usage/port_holders.h"

namespace ttyenum {

namespace {

using Probe = bool (*)(const std::string&, PortInfo&, PortFacts&, const FileSystemRoot&);

// The one place that chooses between the two probes for a node that its name does not place:
// a tty whose device is on a USB bus (or is a usb-serial port) is a USB port; any other device
// goes to the UART rules. Without a device there is no hardware (virtual consoles, pseudo
// terminals, ttyprintk, the gadget side ttyGS).
bool probeByBus(const std::string& devicePath, PortInfo& port, PortFacts& facts,
                const FileSystemRoot& root) {
  const std::string classEntry = ttyClassEntry(devicePath);
  if (classEntry.empty())
    return false;
  const std::string bus = deviceSubsystem(classEntry + "/device/", root);
  if (bus.empty())
    return false;
  if (bus == "usb" || bus == "usb-serial")
    return probeUsbPort(devicePath, port, facts, root);
  return probePlatformUart(devicePath, port, facts, root);
}

struct PatternEntry {
  const char* pattern;  // nullptr: every other tty class entry that has a node
  Probe probe;
};

// Listing order: on-board and PCI UARTs, then USB serial adapters, then CDC ACM devices, then
// the PL011 UARTs of ARM boards, then every other serial port, whatever its driver calls it
// (ttymxc, ttyPS, ttyTHS, a UART chip on SPI, ...).
const PatternEntry kPatterns[] = {
    {"/dev/ttyS*", probePlatformUart},
    {"/dev/ttyUSB*", probeUsbPort},
    {"/dev/ttyACM*", probeUsbPort},
    {"/dev/ttyAMA*", probePlatformUart},
    {nullptr, probeByBus},
};

// Each pattern is a fixed text and one final "*", so a path matches when it starts with the text.
bool matchesAnyPattern(const std::string& devicePath) {
  for (const PatternEntry& entry : kPatterns) {
    if (entry.pattern == nullptr)
      continue;
    const std::string_view fixedText(entry.pattern, std::strlen(entry.pattern) - 1);
    if (devicePath.compare(0, fixedText.size(), fixedText) == 0)
      return true;
  }
  return false;
}

bool exists(const std::string& logicalPath, const FileSystemRoot& root) {
  struct stat status {};
  return ::lstat(root.path(logicalPath).c_str(), &status) == 0;
}

}  // namespace

class PortEnumerator::Impl {
 public:
  explicit Impl(FileSystemRoot root) : root_(std::move(root)) {}

  const FileSystemRoot& root() const { return root_; }

  // `needs` names the facts beyond the probes' own reads that the caller will show.
  size_t enumerate(std::vector<PortInfo>& ports, std::vector<PortFacts>& facts,
                   const FactNeeds& needs) {
    facts.resize(ports.size());
    const size_t first = ports.size();
    std::vector<std::string> paths;
    for (const PatternEntry& entry : kPatterns) {
      if (entry.pattern != nullptr)
        globPaths(entry.pattern, paths);
      else
        otherClassNodes(paths);
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
    markHolders(ports, facts, first, needs.holderCoverage);
    if (needs.holderCommand)
      nameHolders(facts, first);
    if (needs.links)
      linkNodes(ports, facts, first);
    if (needs.node)
      describeNodes(ports, facts, first);
    if (needs.console)
      markConsoles(ports, facts, first);
    if (needs.usbAddress) {
      for (size_t i = first; i < facts.size(); ++i)
        readUsbAddress(facts[i], root_);
    }
    return ports.size() - first;
  }

  HolderCoverage coverage() const { return coverage_; }

  // Appends the matches of `pattern` in glob's order, which is byte order since the process
  // locale is never changed; returns their number, 0 when glob reports anything but success.
  size_t globPaths(const std::string& pattern, std::vector<std::string>& paths) {
    const size_t before = paths.size();
    if (!root_.glob(pattern, paths))
      return 0;
    return paths.size() - before;
  }

  // The node paths /dev/NAME of the entries of /sys/class/tty that no pattern matches and whose
  // node exists, in byte order. /sys/class/tty is read once.
  void otherClassNodes(std::vector<std::string>& paths) {
    DIR* folder = ::opendir(root_.path("/sys/class/tty").c_str());
    if (folder == nullptr)
      return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
      const std::string path = std::string("/dev/") + entry->d_name;
      if (entry->d_name[0] != '.' && !matchesAnyPattern(path))
        names.push_back(path);
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    for (std::string& path : names) {
      if (exists(path, root_))
        paths.push_back(std::move(path));
    }
  }

 private:
  // One scan of /proc for every port from `first` on; the probes never scan. Every unreadable
  // process is counted only when the coverage is shown.
  void markHolders(std::vector<PortInfo>& ports, std::vector<PortFacts>& facts, size_t first,
                   bool countEveryUnreadable) {
    std::vector<std::string> devicePaths;
    for (size_t i = first; i < ports.size(); ++i)
      devicePaths.push_back(ports[i].portName);
    const PortHolders holders = findPortHolders(devicePaths, root_, countEveryUnreadable);
    coverage_ = holders.coverage;
    for (size_t i = first; i < ports.size(); ++i) {
      const std::optional<HolderClaim>& holder = holders.holders[i - first];
      facts[i].holderPid = holder ? holder->pid : -1;
      facts[i].holderVia = holder ? std::optional<HolderVia>(holder->via) : std::nullopt;
      ports[i].inUse = holder.has_value();
    }
  }

  void markConsoles(const std::vector<PortInfo>& ports, std::vector<PortFacts>& facts,
                    size_t first) {
    const std::vector<std::string> consoles = readConsoleNames(root_);
    for (size_t i = first; i < ports.size(); ++i)
      facts[i].console = isConsole(ports[i].portName, consoles);
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
    for (size_t i = first; i < ports.size(); ++i)
      describeNode(ports[i].portName, facts[i], root_);
  }

  FileSystemRoot root_;
  HolderCoverage coverage_;
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
HolderCoverage PortEnumerator::holderCoverage() const {
  return impl_->coverage();
}
const FileSystemRoot& PortEnumerator::root() const {
  return impl_->root();
}

}  // namespace ttyenum
