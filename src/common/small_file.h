#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace ttyenum {

// Appends to `text` what the regular file open at `fd` holds, up to `limit` bytes in all, and
// closes `fd`. False when it is no regular file (procfs and sysfs entries count as regular) or
// a read fails; `text` then keeps what was read before.
bool readRegularFile(int fd, size_t limit, std::string& text);

// Up to `limit` bytes of the file at `path` (a real path), read without blocking; none when it
// cannot be opened or read. `flags` are added to the open flags, such as O_NOFOLLOW.
std::optional<std::string> readSmallFile(const std::string& path, size_t limit, int flags = 0);

// The same relative to the folder open at `folder`.
std::optional<std::string> readSmallFileAt(int folder, const std::string& name, size_t limit,
                                           int flags = 0);

}  // namespace ttyenum
