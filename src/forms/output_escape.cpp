#include "forms/output_escape.h"

#include "common/utf8_text.h"

namespace ttyenum {

namespace {

// C0, DEL and the C1 controls U+0080 to U+009F.
bool isControl(char32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7f && codePoint <= 0x9f);
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
  // A byte outside well-formed UTF-8 is escaped alone, so that no neighbour, in this field or
  // the next, can complete it; a control keeps all its bytes visible (C1 as \xc2\xhh).
  forEachUtf8Sequence(text, [&](size_t at, size_t length, std::optional<char32_t> codePoint) {
    if (codePoint && !isControl(*codePoint)) {
      out.append(text, at, length);
      return;
    }
    for (size_t i = at; i < at + length; ++i)
      appendHexEscape(static_cast<unsigned char>(text[i]), out);
  });
  return out;
}

std::string escapePrometheusLabel(const std::string& text) {
  constexpr char32_t kReplacement = 0xfffd;
  std::string out;
  out.reserve(text.size());
  forEachUtf8Sequence(text, [&](size_t at, size_t length, std::optional<char32_t> codePoint) {
    if (!codePoint || (isControl(*codePoint) && *codePoint != '\n'))
      appendUtf8(kReplacement, out);
    else if (*codePoint == '\\')
      out += "\\\\";
    else if (*codePoint == '"')
      out += "\\\"";
    else if (*codePoint == '\n')
      out += "\\n";
    else
      out.append(text, at, length);
  });
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

std::string spacedJson(const std::string& compact) {
  std::string out;
  out.reserve(compact.size() + compact.size() / 8);
  bool inString = false;
  bool escaped = false;
  for (const char c : compact) {
    out += c;
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == ',' || c == ':') {
      out += ' ';
    }
  }
  return out;
}

}  // namespace ttyenum
