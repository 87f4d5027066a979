#pragma once

#include <string>
#include <vector>

namespace ttyenum {

// The folder that stands for "/" when discovery and the usage scan touch /dev, /sys and /proc.
// Callers keep working with logical paths (/dev/ttyUSB0); only this class turns them into the
// paths that are really opened, so tests can point the whole tool at a fake tree.
class FileSystemRoot {
 public:
  // The real root by default; any other folder is taken as a prefix.
  explicit FileSystemRoot(std::string folder = "/");

  // The path to open for a logical absolute path.
  std::string path(const std::string& logicalPath) const;

  // The logical path for a path that `path` or `glob` produced; other text comes back unchanged.
  std::string logical(const std::string& realPath) const;

  // Expands a logical glob pattern with GLOB_ERR alone, so matches come back in glob's sorted
  // order. Appends the logical matches to `matches`; returns false, appending nothing, when glob
  // reports anything but success (no match included).
  bool glob(const std::string& logicalPattern, std::vector<std::string>& matches) const;

 private:
  std::string prefix_;  // empty for the real root, else the folder without a trailing slash
};

}  // namespace ttyenum
