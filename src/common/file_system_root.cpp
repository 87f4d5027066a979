#include "common/file_system_root.h"

#include <glob.h>

#include <utility>

namespace ttyenum {

namespace {

// A prefix is a literal folder name: its glob metacharacters must not act as a pattern.
std::string escapeForGlob(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\')
      escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

FileSystemRoot::FileSystemRoot(std::string folder) : prefix_(std::move(folder)) {
  while (!prefix_.empty() && prefix_.back() == '/')
    prefix_.pop_back();
}

std::string FileSystemRoot::path(const std::string& logicalPath) const {
  return prefix_ + logicalPath;
}

std::string FileSystemRoot::logical(const std::string& realPath) const {
  if (prefix_.empty() || realPath.compare(0, prefix_.size(), prefix_) != 0)
    return realPath;
  return realPath.substr(prefix_.size());
}

bool FileSystemRoot::glob(const std::string& logicalPattern,
                          std::vector<std::string>& matches) const {
  glob_t found{};
  const std::string pattern = escapeForGlob(prefix_) + logicalPattern;
  const bool ok = ::glob(pattern.c_str(), GLOB_ERR, nullptr, &found) == 0;
  if (ok) {
    for (size_t i = 0; i < found.gl_pathc; ++i)
      matches.push_back(logical(found.gl_pathv[i]));
  }
  globfree(&found);
  return ok;
}

}  // namespace ttyenum
