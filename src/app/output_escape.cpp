#include "app/output_escape.h"

namespace ttyenum {

namespace {

bool isControlByte(unsigned char byte) {
  return byte < 0x20 || byte == 0x7f;
}

// True when bytes[at] starts a C1 control in UTF-8: C2 followed by 80..9F.
bool startsC1Control(const std::string& bytes, size_t at) {
  if (at + 1 >= bytes.size())
    return false;
  const auto lead = static_cast<unsigned char>(bytes[at]);
  const auto next = static_cast<unsigned char>(bytes[at + 1]);
  return lead == 0xc2 && next >= 0x80 && next <= 0x9f;
}

const char kHexDigits[] = "0123456789abcdef";

void appendHexEscape(unsigned char byte, std::string& out) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0f];
}

void appendJsonEscape(unsigned char codePoint, std::string& out) {
  out += "\\u00";
  out += kHexDigits[codePoint >> 4];
  out += kHexDigits[codePoint & 0x0f];
}

}  // namespace

std::string escapeFieldText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (startsC1Control(text, i)) {
      appendHexEscape(byte, out);
      appendHexEscape(static_cast<unsigned char>(text[++i]), out);
    } else if (isControlByte(byte)) {
      appendHexEscape(byte, out);
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string escapeJsonText(const std::string& json) {
  std::string out;
  out.reserve(json.size());
  for (size_t i = 0; i < json.size(); ++i) {
    const auto byte = static_cast<unsigned char>(json[i]);
    if (startsC1Control(json, i))
      appendJsonEscape(static_cast<unsigned char>(json[++i]), out);
    else if (byte == 0x7f)
      appendJsonEscape(byte, out);
    else
      out += json[i];
  }
  return out;
}

}  // namespace ttyenum
