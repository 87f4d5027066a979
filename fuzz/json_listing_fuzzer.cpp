// Writes a port whose texts are arbitrary device bytes as JSON. Whatever the bytes, the document
// must be one line of valid JSON with no raw control character, and every text that was valid
// UTF-8 must come back from a reader unchanged.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "forms/json_listing.h"

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

bool isValidUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // Three texts from one input: product, serial number and a stable link.
  const size_t third = bytes.size() / 3;
  ttyenum::PortInfo port;
  port.portName = "/dev/ttyUSB0";
  port.product = bytes.substr(0, third);
  port.serialNumber = bytes.substr(third, third);
  ttyenum::PortFacts facts;
  facts.links = {bytes.substr(2 * third)};
  facts.holderPid = 1;
  facts.holderVia = ttyenum::HolderVia::kDescriptor;
  facts.holderCommand = port.serialNumber;

  std::ostringstream out;
  ttyenum::writeJsonListing(ttyenum::filterPorts({port}, {facts}, ttyenum::PortFilter()), out);
  const std::string text = out.str();
  check(!text.empty() && text.back() == '\n');
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    check(byte >= 0x20 && byte != 0x7f);
    check(!(byte == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80));
  }
  const nlohmann::json parsed = nlohmann::json::parse(text).at("ports").at(0);
  if (isValidUtf8(port.product))
    check(parsed.at("product") ==
          (port.product.empty() ? nlohmann::json() : nlohmann::json(port.product)));
  if (isValidUtf8(facts.links[0]))
    check(parsed.at("links").at(0) == facts.links[0]);
  return 0;
}
