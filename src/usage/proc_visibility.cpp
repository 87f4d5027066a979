#include "usage/proc_visibility.h"

#include <algorithm>
#include <optional>
#include <string>

#include "common/small_file.h"

namespace ttyenum {

namespace {

// The `index`th blank-separated field of a mount line; empty past the end.
std::string_view field(std::string_view line, int index) {
  for (int i = 0;; ++i) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos)
      return std::string_view();
    line.remove_prefix(start);
    const size_t end = std::min(line.size(), line.find(' '));
    if (i == index)
      return line.substr(0, end);
    line.remove_prefix(end);
  }
}

bool optionsHide(std::string_view options) {
  const std::string_view hiding[] = {"hidepid=2", "hidepid=invisible", "hidepid=4",
                                     "hidepid=ptraceable"};
  while (!options.empty()) {
    const size_t end = std::min(options.size(), options.find(','));
    if (std::find(std::begin(hiding), std::end(hiding), options.substr(0, end)) != std::end(hiding))
      return true;
    options.remove_prefix(std::min(options.size(), end + 1));
  }
  return false;
}

}  // namespace

bool mountsHideProcesses(std::string_view mountsText) {
  bool hides = false;
  while (!mountsText.empty()) {
    const size_t end = std::min(mountsText.size(), mountsText.find('\n'));
    const std::string_view line = mountsText.substr(0, end);
    // A later mount on /proc covers the earlier ones.
    if (field(line, 1) == "/proc" && field(line, 2) == "proc")
      hides = optionsHide(field(line, 3));
    mountsText.remove_prefix(std::min(mountsText.size(), end + 1));
  }
  return hides;
}

bool procHidesProcesses(const FileSystemRoot& root) {
  const std::optional<std::string> text = readSmallFile(root.path("/proc/self/mounts"), 4 << 20);
  return text && mountsHideProcesses(*text);
}

}  // namespace ttyenum
