#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/listed_port.h"

namespace ttyenum {

// Writes the listed ports as one JSON document on one line, {"ports": [...]}, with a blank after
// each "," and ":", ending with a line feed; an empty listing gives {"ports": []}.
// Texts keep their stored bytes (empty ones are null); the output is valid UTF-8 with every
// control character escaped (see escapeJsonText).
void writeJsonListing(const PortListing& listing, std::ostream& out);

// One port's object as the document holds it, {"portName": ..., "links": [...]}, with the same
// keys, order, spacing and escaping; no line feed.
std::string jsonPortText(const ListedPort& listed);

}  // namespace ttyenum
