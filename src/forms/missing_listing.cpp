#include "forms/missing_listing.h"

#include <nlohmann/json.hpp>

#include <string>

#include "forms/output_escape.h"

namespace ttyenum {

namespace {

using Json = nlohmann::ordered_json;

Json textOrNull(const std::string& text) {
  return text.empty() ? Json() : Json(text);
}

Json interfaceObject(const MissingInterface& interface) {
  Json claimedBy;
  if (interface.claimedBy)
    claimedBy = Json{{"pid", interface.claimedBy->pid}, {"command", interface.claimedBy->command}};
  return Json{
      {"interface", interface.interface},
      {"usbLocation", textOrNull(interface.usbLocation)},
      {"usbInterface", interface.usbInterface ? Json(*interface.usbInterface) : Json()},
      {"vendorId", textOrNull(interface.vendorId)},
      {"productId", textOrNull(interface.productId)},
      {"manufacturer", textOrNull(interface.manufacturer)},
      {"product", textOrNull(interface.product)},
      {"serialNumber", textOrNull(interface.serialNumber)},
      {"driver", interface.usbfs ? Json("usbfs") : Json()},
      {"modules", interface.modules},
      {"reason", missingReasonText(interface)},
      {"claimedBy", claimedBy},
  };
}

}  // namespace

void writeMissingText(const MissingListing& listing, std::ostream& out) {
  for (const MissingInterface& interface : listing.interfaces) {
    out << escapeFieldText(interface.interface) << '\t'
        << escapeFieldText(interface.vendorId + ":" + interface.productId) << '\t'
        << escapeFieldText(interface.product) << '\t'
        << escapeFieldText(missingReasonText(interface)) << '\n';
  }
}

void writeMissingJson(const MissingListing& listing, std::ostream& out) {
  out << "{\"missing\": [";
  const char* separator = "";
  for (const MissingInterface& interface : listing.interfaces) {
    // Bytes that are not UTF-8 become U+FFFD, as in the port objects.
    const std::string compact =
        interfaceObject(interface).dump(-1, ' ', false, Json::error_handler_t::replace);
    out << separator << escapeJsonText(spacedJson(compact));
    separator = ", ";
  }
  out << "]}\n";
}

}  // namespace ttyenum
