#include "usage/file_locks.h"

#include <algorithm>
#include <string>

#include "common/small_file.h"
#include "common/whole_number.h"

namespace ttyenum {

namespace {

// The next blank-separated word of `text`, which loses it; empty at the end.
std::string_view nextWord(std::string_view& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    text = std::string_view();
    return text;
  }
  text.remove_prefix(start);
  const size_t end = std::min(text.size(), text.find_first_of(" \t"));
  const std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

// "MAJOR:MINOR:INODE" with the device numbers in hex.
bool parseFileIdentity(std::string_view text, FileLock& lock) {
  const size_t first = text.find(':');
  const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos)
    return false;
  return parseWholeNumber(text.substr(0, first), lock.device.major, 16) &&
         parseWholeNumber(text.substr(first + 1, second - first - 1), lock.device.minor, 16) &&
         parseWholeNumber(text.substr(second + 1), lock.inode);
}

}  // namespace

std::optional<FileLock> parseFileLock(std::string_view line) {
  nextWord(line);  // the lock's ordinal, "1:"
  const std::string_view type = nextWord(line);
  if (type != "FLOCK" && type != "POSIX" && type != "OFDLCK")
    return std::nullopt;  // a waiter ("->"), a lease, a delegation
  nextWord(line);         // ADVISORY or MANDATORY
  nextWord(line);         // READ or WRITE
  FileLock lock;
  if (!parseWholeNumber(nextWord(line), lock.pid) || !parseFileIdentity(nextWord(line), lock))
    return std::nullopt;
  if (type == "OFDLCK")
    lock.pid = -1;
  return lock;
}

std::vector<FileLock> readFileLocks(const FileSystemRoot& root) {
  std::vector<FileLock> locks;
  // A busy machine may list thousands of locks; a few megabytes bound the read.
  const std::optional<std::string> text = readSmallFile(root.path("/proc/locks"), 16 << 20);
  if (!text)
    return locks;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const size_t end = std::min(rest.size(), rest.find('\n'));
    if (const std::optional<FileLock> lock = parseFileLock(rest.substr(0, end)))
      locks.push_back(*lock);
    rest.remove_prefix(std::min(rest.size(), end + 1));
  }
  return locks;
}

}  // namespace ttyenum
