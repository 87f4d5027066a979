#include "common/argument_text.h"

#include "common/utf8_text.h"

namespace ttyenum {

namespace {

static_assert(sizeof(wchar_t) == 4, "wide text must hold any code point in one unit");

constexpr char32_t kEscapeBase = 0xdc00;  // an escaped byte b is kEscapeBase + b, b >= 0x80

}  // namespace

std::wstring decodeArgumentText(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  forEachUtf8Sequence(bytes, [&](size_t at, size_t, std::optional<char32_t> codePoint) {
    const char32_t unit =
        codePoint ? *codePoint : kEscapeBase + static_cast<unsigned char>(bytes[at]);
    text += static_cast<wchar_t>(unit);
  });
  return text;
}

std::string encodeArgumentText(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const wchar_t unit : text) {
    const auto codePoint = static_cast<char32_t>(unit);
    if (codePoint >= kEscapeBase + 0x80 && codePoint <= kEscapeBase + 0xff)
      bytes += static_cast<char>(codePoint - kEscapeBase);
    else
      appendUtf8(codePoint, bytes);
  }
  return bytes;
}

}  // namespace ttyenum
