#include "usage/lock_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/small_file.h"
#include "common/whole_number.h"

namespace ttyenum {

namespace {

constexpr std::string_view kLockPrefix = "LCK..";
constexpr size_t kLockFileLimit = 64;
const char* const kLockFolders[] = {"/run/lock", "/var/lock", "/var/spool/uucp"};

bool allLockText(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '\n'; });
}

// The LCK.. files of one open folder, in byte order of their names.
void readFolder(int folder, std::vector<LockFile>& locks) {
  DIR* stream = ::fdopendir(folder);
  if (stream == nullptr) {
    ::close(folder);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(stream)) {
    if (std::string_view(entry->d_name).substr(0, kLockPrefix.size()) == kLockPrefix &&
        std::strlen(entry->d_name) > kLockPrefix.size())
      names.emplace_back(entry->d_name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::optional<std::string> bytes =
        readSmallFileAt(::dirfd(stream), name, kLockFileLimit, O_NOFOLLOW);
    const std::optional<int> pid = bytes ? parseLockFilePid(*bytes) : std::nullopt;
    if (pid)
      locks.push_back({name.substr(kLockPrefix.size()), *pid});
  }
  ::closedir(stream);
}

}  // namespace

std::optional<int> parseLockFilePid(std::string_view bytes) {
  int pid = 0;
  if (!allLockText(bytes)) {
    if (bytes.size() != sizeof pid)
      return std::nullopt;
    std::memcpy(&pid, bytes.data(), sizeof pid);
    return pid > 0 ? std::optional<int>(pid) : std::nullopt;
  }
  const size_t start = bytes.find_first_not_of(" \n");
  if (start == std::string_view::npos)
    return std::nullopt;
  const size_t end = bytes.find_first_of(" \n", start);
  const std::string_view digits = bytes.substr(start, end - start);
  if (end != std::string_view::npos &&
      bytes.find_first_not_of(" \n", end) != std::string_view::npos)
    return std::nullopt;  // two numbers
  if (!parseWholeNumber(digits, pid) || pid <= 0)
    return std::nullopt;
  return pid;
}

std::vector<LockFile> readLockFiles(const FileSystemRoot& root) {
  std::vector<LockFile> locks;
  std::vector<std::pair<dev_t, ino_t>> seen;
  for (const char* folderPath : kLockFolders) {
    const int folder = ::open(root.path(folderPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
      continue;
    // /var/lock is most often a link to /run/lock: the same folder counts once.
    struct stat status {};
    if (::fstat(folder, &status) != 0 ||
        std::find(seen.begin(), seen.end(), std::make_pair(status.st_dev, status.st_ino)) !=
            seen.end()) {
      ::close(folder);
      continue;
    }
    seen.emplace_back(status.st_dev, status.st_ino);
    readFolder(folder, locks);
  }
  return locks;
}

}  // namespace ttyenum
