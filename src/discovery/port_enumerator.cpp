#include "discovery/port_enumerator.h"

#include <string>
#include <utility>

#include "discovery/platform_uart_probe.h"
#include "discovery/usb_port_probe.h"

namespace ttyenum {

namespace {

using Probe = bool (*)(const std::string&, PortInfo&, const FileSystemRoot&);

struct PatternEntry {
  const char* pattern;
  Probe probe;
};

// Listing order: on-board and PCI UARTs, then USB serial adapters, then CDC ACM devices.
const PatternEntry kPatterns[] = {
    {"/dev/ttyS*", probePlatformUart},
    {"/dev/ttyUSB*", probeUsbPort},
    {"/dev/ttyACM*", probeUsbPort},
};

}  // namespace

class PortEnumerator::Impl {
 public:
  explicit Impl(FileSystemRoot root) : root_(std::move(root)) {}

  size_t enumerate(std::vector<PortInfo>& ports) {
    size_t appended = 0;
    std::vector<std::string> paths;
    for (const PatternEntry& entry : kPatterns) {
      globPaths(entry.pattern, paths);
      for (const std::string& path : paths) {
        PortInfo record;
        if (entry.probe(path, record, root_)) {
          ports.push_back(record);
          ++appended;
        }
      }
      paths.clear();
    }
    return appended;
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
  FileSystemRoot root_;
};

PortEnumerator::PortEnumerator(FileSystemRoot root) : impl_(new Impl(std::move(root))) {}
PortEnumerator::~PortEnumerator() = default;
size_t PortEnumerator::enumerate(std::vector<PortInfo>& ports) {
  return impl_->enumerate(ports);
}

}  // namespace ttyenum
