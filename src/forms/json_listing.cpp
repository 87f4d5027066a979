#include "forms/json_listing.h"

#include <nlohmann/json.hpp>

#include <string>

#include "forms/output_escape.h"

namespace ttyenum {

namespace {

using Json = nlohmann::ordered_json;

Json textOrNull(const std::string& text) {
  return text.empty() ? Json() : Json(text);
}

template <typename T>
Json valueOrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json();
}

Json holderObject(const PortFacts& facts) {
  if (!facts.holderVia)
    return Json();
  return Json{{"pid", facts.holderPid < 0 ? Json() : Json(facts.holderPid)},
              {"command", valueOrNull(facts.holderCommand)},
              {"via", holderViaName(*facts.holderVia)}};
}

Json deviceText(const std::optional<DeviceNumber>& device) {
  if (!device)
    return Json();
  return device->text();
}

Json portObject(const PortInfo& port, const PortFacts& facts) {
  return Json{
      {"portName", textOrNull(port.portName)},
      {"serialNumber", textOrNull(port.serialNumber)},
      {"product", textOrNull(port.product)},
      {"driver", textOrNull(port.driver)},
      {"manufacturer", textOrNull(port.manufacturer)},
      {"vendorId", textOrNull(port.vendorId)},
      {"productId", textOrNull(port.productId)},
      {"version", textOrNull(port.version)},
      {"inUse", port.inUse},
      {"holder", holderObject(facts)},
      {"kind", kindName(facts.kind)},
      {"device", deviceText(facts.device)},
      {"usbLocation", textOrNull(facts.usbLocation)},
      {"usbInterface", valueOrNull(facts.usbInterface)},
      {"links", facts.links},
      {"group", textOrNull(facts.group)},
      {"access", textOrNull(facts.access)},
      {"console", facts.console},
  };
}

}  // namespace

std::string jsonPortText(const ListedPort& listed) {
  // Bytes that are not UTF-8 become U+FFFD; the library leaves DEL and the C1 controls raw.
  const std::string compact =
      portObject(listed.port, listed.facts).dump(-1, ' ', false, Json::error_handler_t::replace);
  return escapeJsonText(spacedJson(compact));
}

void writeJsonListing(const PortListing& listing, std::ostream& out) {
  out << "{\"ports\": [";
  const char* separator = "";
  for (const ListedPort& listed : listing.ports) {
    out << separator << jsonPortText(listed);
    separator = ", ";
  }
  out << "], \"holdersComplete\": " << (listing.holders.complete ? "true" : "false")
      << ", \"unreadableProcesses\": " << listing.holders.unreadableProcesses << "}\n";
}

}  // namespace ttyenum
