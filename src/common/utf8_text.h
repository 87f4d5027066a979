#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace ttyenum {

// Length of the well-formed UTF-8 sequence that starts at bytes[at] (RFC 3629: no overlong form,
// no surrogate, nothing past U+10FFFF, no truncated sequence), with its code point; 0 when the
// bytes there form none, as for a stray continuation byte. `at` must be inside `bytes`.
size_t decodeUtf8Sequence(const std::string& bytes, size_t at, char32_t& codePoint);

// Calls visit(at, length, codePoint) for each well-formed sequence of `bytes` in order, and
// visit(at, 1, std::nullopt) for each byte that is part of none.
template <typename Visit>
void forEachUtf8Sequence(const std::string& bytes, Visit visit) {
  size_t at = 0;
  while (at < bytes.size()) {
    char32_t codePoint = 0;
    const size_t length = decodeUtf8Sequence(bytes, at, codePoint);
    if (length == 0) {
      visit(at, size_t{1}, std::optional<char32_t>());
      at += 1;
    } else {
      visit(at, length, std::optional<char32_t>(codePoint));
      at += length;
    }
  }
}

// Appends the UTF-8 bytes of `codePoint`; a value past U+10FFFF is written as U+FFFD.
void appendUtf8(char32_t codePoint, std::string& out);

}  // namespace ttyenum
