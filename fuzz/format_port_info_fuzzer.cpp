// Renders arbitrary records through arbitrary formats. Beyond memory errors, it checks what
// scripts rely on: every line ends in one line feed, and device bytes never put a control
// character or a line break of their own into the output.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/format_port_info.h"
#include "app/output_escape.h"
#include "common/port_facts.h"
#include "common/port_info.h"
#include "common/utf8_text.h"

namespace {

bool isControlByte(unsigned char byte) {
  return byte < 0x20 || byte == 0x7f;
}

// True when `text` holds a raw control byte or a raw UTF-8 C1 control (C2 80 to C2 9F).
bool holdsControl(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (isControlByte(byte))
      return true;
    if (byte == 0xc2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9f)
        return true;
    }
  }
  return false;
}

// Well-formed UTF-8 without a control character: the text that escaping keeps as it is.
bool isCleanText(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    char32_t codePoint = 0;
    const size_t length = ttyenum::decodeUtf8Sequence(text, at, codePoint);
    if (length == 0)
      return false;
    at += length;
  }
  return !holdsControl(text);
}

// Printable ASCII without "t": such a format adds no control byte of its own (no %t tab).
bool isPlainFormat(const std::string& format) {
  for (const char c : format) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7e || c == 't')
      return false;
  }
  return true;
}

void check(bool condition) {
  if (!condition)
    __builtin_trap();
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
  if (isPlainFormat(format))
    check(!holdsControl(line.substr(0, line.size() - 1)));

  for (const std::string& field : {port.portName, port.product, format}) {
    const std::string escaped = ttyenum::escapeFieldText(field);
    check(!holdsControl(escaped));
    check(escaped.size() >= field.size());
    if (isCleanText(field))
      check(escaped == field);
  }
  return 0;
}
