#include "app/argument_text.h"

namespace ttyenum {

namespace {

static_assert(sizeof(wchar_t) == 4, "wide text must hold any code point in one unit");

constexpr char32_t kEscapeBase = 0xdc00;  // an escaped byte b is kEscapeBase + b, b >= 0x80

bool isContinuation(unsigned char byte) {
  return (byte & 0xc0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at bytes[at] and its code point, or 0 when the
// bytes there do not form one (overlong forms, surrogates and values past U+10FFFF included).
size_t decodeSequence(const std::string& bytes, size_t at, char32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, minimum = 0x80, codePoint = lead & 0x1f;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, minimum = 0x800, codePoint = lead & 0x0f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, minimum = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > bytes.size())
    return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[at + i]);
    if (!isContinuation(byte))
      return 0;
    codePoint = (codePoint << 6) | (byte & 0x3f);
  }
  const bool surrogate = codePoint >= 0xd800 && codePoint <= 0xdfff;
  if (codePoint < minimum || surrogate || codePoint > 0x10ffff)
    return 0;
  return length;
}

void appendUtf8(char32_t codePoint, std::string& out) {
  if (codePoint > 0x10ffff)
    codePoint = 0xfffd;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xc0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3f));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xe0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (codePoint & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (codePoint & 0x3f));
  }
}

}  // namespace

std::wstring decodeArgumentText(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  size_t at = 0;
  while (at < bytes.size()) {
    char32_t codePoint = 0;
    const size_t length = decodeSequence(bytes, at, codePoint);
    if (length == 0) {
      codePoint = kEscapeBase + static_cast<unsigned char>(bytes[at]);
      at += 1;
    } else {
      at += length;
    }
    text += static_cast<wchar_t>(codePoint);
  }
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
