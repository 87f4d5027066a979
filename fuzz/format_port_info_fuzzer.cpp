// Renders arbitrary records and facts through arbitrary formats. Beyond memory errors, it checks
// what scripts and terminals rely on: every line ends in one line feed, and whatever bytes the
// devices wrote, alone or joined by adjacent placeholders, the line holds no raw control
// character, no bidirectional or invisible format character and no byte outside well-formed
// UTF-8 of their making.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/port_facts.h"
#include "common/port_info.h"
#include "common/utf8_text.h"
#include "forms/format_port_info.h"
#include "forms/output_escape.h"

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

bool isControl(char32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7f && codePoint <= 0x9f);
}

// The bidirectional and invisible format characters, which can reorder or hide what a terminal
// shows after them.
bool isFormatCharacter(char32_t c) {
  return (c >= 0x200b && c <= 0x200f) || (c >= 0x202a && c <= 0x202e) ||
         (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) || c == 0xfeff;
}

// True when `text` is well-formed UTF-8 whose only control characters are tabs, with no format
// character.
bool isSafeText(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    char32_t codePoint = 0;
    const size_t length = ttyenum::decodeUtf8Sequence(text, at, codePoint);
    if (length == 0 || (isControl(codePoint) && codePoint != '\t') || isFormatCharacter(codePoint))
      return false;
    at += length;
  }
  return true;
}

// The format with every byte outside printable ASCII made a "?": its own text then adds no
// control, so any in the line would have come from a field. Tabs come only from %t.
std::string printableFormat(std::string format) {
  for (char& c : format) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7e)
      c = '?';
  }
  return format;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  ttyenum::PortInfo port;
  port.inUse = input.ConsumeBool();
  for (std::string* field : {&port.portName, &port.serialNumber, &port.product, &port.driver,
                             &port.manufacturer, &port.vendorId, &port.productId, &port.version})
    *field = input.ConsumeRandomLengthString(256);
  ttyenum::PortFacts facts;
  facts.holderPid = input.ConsumeIntegralInRange(-1, 4194304);
  facts.holderCommand = input.ConsumeRandomLengthString(64);
  facts.links = {"/dev/serial/by-id/" + input.ConsumeRandomLengthString(256)};
  facts.group = input.ConsumeRandomLengthString(64);
  facts.access = input.ConsumeRandomLengthString(4);
  const std::string format = input.ConsumeRemainingBytesAsString();

  const std::string line = ttyenum::formatPortInfo(port, facts, format);
  check(!line.empty() && line.back() == '\n');
  const std::string checked = ttyenum::formatPortInfo(port, facts, printableFormat(format));
  check(!checked.empty() && checked.back() == '\n');
  check(isSafeText(checked.substr(0, checked.size() - 1)));

  for (const std::string& field : {port.portName, port.product, format}) {
    const std::string escaped = ttyenum::escapeFieldText(field);
    check(isSafeText(escaped) && escaped.find('\t') == std::string::npos);
    check(escaped.size() >= field.size());
    if (isSafeText(field) && field.find('\t') == std::string::npos)
      check(escaped == field);
  }
  return 0;
}
