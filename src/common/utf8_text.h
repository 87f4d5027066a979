#pragma once

#include <cstddef>
#include <string>

namespace ttyenum {

// Length of the well-formed UTF-8 sequence that starts at bytes[at] (RFC 3629: no overlong form,
// no surrogate, nothing past U+10FFFF, no truncated sequence), with its code point; 0 when the
// bytes there form none, as for a stray continuation byte. `at` must be inside `bytes`.
size_t decodeUtf8Sequence(const std::string& bytes, size_t at, char32_t& codePoint);

// Appends the UTF-8 bytes of `codePoint`; a value past U+10FFFF is written as U+FFFD.
void appendUtf8(char32_t codePoint, std::string& out);

}  // namespace ttyenum
