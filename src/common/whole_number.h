#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace ttyenum {

// `text` read whole as a number in `base`: false, leaving `value` alone, for empty text, a sign,
// a blank or any other byte that is no digit, and a value out of range.
template <typename Number>
bool parseWholeNumber(std::string_view text, Number& value, int base = 10) {
  Number parsed{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, parsed, base);
  if (text.empty() || error != std::errc() || stop != end)
    return false;
  value = parsed;
  return true;
}

// The same as an optional unsigned number.
inline std::optional<unsigned> wholeNumber(std::string_view text, int base = 10) {
  unsigned value = 0;
  return parseWholeNumber(text, value, base) ? std::optional<unsigned>(value) : std::nullopt;
}

}  // namespace ttyenum
