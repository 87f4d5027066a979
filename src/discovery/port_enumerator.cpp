#include "discovery/port_enumerator.h"

namespace ttyenum {

class PortEnumerator::Impl {
 public:
  explicit Impl(FileSystemRoot root) : root_(std::move(root)) {}
  size_t enumerate(std::vector<PortInfo>&) { return 0; }

 private:
  FileSystemRoot root_;
};

PortEnumerator::PortEnumerator(FileSystemRoot root) : impl_(new Impl(std::move(root))) {}
PortEnumerator::~PortEnumerator() = default;
size_t PortEnumerator::enumerate(std::vector<PortInfo>& ports) {
  return impl_->enumerate(ports);
}

}  // namespace ttyenum
