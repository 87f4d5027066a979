#include "common/utf8_text.h"

namespace ttyenum {

namespace {

bool isContinuation(unsigned char byte) {
  return (byte & 0xc0) == 0x80;
}

}  // namespace

size_t decodeUtf8Sequence(const std::string& bytes, size_t at, char32_t& codePoint) {
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

}  // namespace ttyenum
