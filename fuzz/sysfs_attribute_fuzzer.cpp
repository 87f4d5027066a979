// Feeds arbitrary file contents to the text rules of attribute reads: plain and key=value mode,
// the DRIVER= search of uevent files and the "0x" strip. Each result must be a piece of its input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/sysfs_attribute.h"

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

bool isPieceOf(const std::string& piece, const std::string& whole) {
  return whole.find(piece) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);

  for (const bool keyValue : {false, true}) {
    const std::string text = ttyenum::attributeText(content, keyValue);
    check(text.find('\0') == std::string::npos);
    check(isPieceOf(text, content));
    if (!keyValue && !text.empty())
      check(content.compare(0, text.size(), text) == 0);
  }

  const std::string driver = ttyenum::driverFromUevent(content);
  check(driver.find('\n') == std::string::npos);
  check(isPieceOf(driver, content));

  const std::string id = ttyenum::stripHexPrefix(content);
  check(id.size() == content.size() || id.size() + 2 == content.size());
  check(content.compare(content.size() - id.size(), id.size(), id) == 0);
  return 0;
}
