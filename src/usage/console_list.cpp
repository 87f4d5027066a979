#include "usage/console_list.h"

#include <algorithm>
#include <optional>

#include "common/small_file.h"

namespace ttyenum {

std::vector<std::string> readConsoleNames(const FileSystemRoot& root) {
  std::vector<std::string> names;
  const std::optional<std::string> text =
      readSmallFile(root.path("/sys/class/tty/console/active"), 4096);
  if (!text)
    return names;
  std::string_view rest = *text;
  while (true) {
    const size_t start = rest.find_first_not_of(" \t\n");
    if (start == std::string_view::npos)
      break;
    rest.remove_prefix(start);
    const size_t end = std::min(rest.size(), rest.find_first_of(" \t\n"));
    names.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  return names;
}

bool isConsole(std::string_view devicePath, const std::vector<std::string>& consoles) {
  const std::string_view name = devicePath.substr(devicePath.rfind('/') + 1);
  return std::find(consoles.begin(), consoles.end(), name) != consoles.end();
}

}  // namespace ttyenum
