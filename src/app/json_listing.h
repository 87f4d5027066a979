#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/listing.h"
#include "common/port_facts.h"
#include "common/port_info.h"

namespace ttyenum {

// The name of a port's kind in the JSON and metrics forms: "pnp", "pci", "amba", "platform",
// "spi", "i2c", "usb".
const char* kindName(PortKind kind);

// Writes the ports that pass the filters as one JSON document on one line, {"ports": [...]},
// with a blank after each "," and ":", ending with a line feed; an empty list gives
// {"ports": []}. `facts` stands beside `ports`, index for index.
// Texts keep their stored bytes (empty ones are null); the output is valid UTF-8 with every
// control character escaped (see escapeJsonText).
void writeJsonListing(const std::vector<PortInfo>& ports, const std::vector<PortFacts>& facts,
                      const ListingSettings& settings, std::ostream& out);

// One port's object as the document holds it, {"portName": ..., "links": [...]}, with the same
// keys, order, spacing and escaping; no line feed.
std::string jsonPortText(const PortInfo& port, const PortFacts& facts);

}  // namespace ttyenum
