#pragma once

#include <string>

namespace ttyenum {

// The text of a port field as it may reach a terminal: each control (0x00-0x1F, 0x7F, and both
// bytes of a UTF-8 C1 control, C2 80 to C2 9F) and each byte that is not part of a well-formed
// UTF-8 sequence becomes "\xHH" in lowercase hex; well-formed UTF-8 text is kept. Device strings
// are written by the device, so they are never trusted to leave the terminal alone, and since
// no raw byte of a broken sequence is kept, escaped fields stay free of controls when joined.
std::string escapeFieldText(const std::string& text);

// Escapes what a JSON writer may leave raw in valid UTF-8 JSON text: DEL (U+007F) and the C1
// controls (U+0080 to U+009F) become \u007f to \u009f. Such bytes can stand only inside
// strings, so the document stays valid and a reader gets the same characters back.
std::string escapeJsonText(const std::string& json);

// A JSON writer's compact text with a blank after each "," and ":" between tokens, so that the
// JSON forms read {"ports": [{"portName": "/dev/ttyS0", ...}]} on one line.
std::string spacedJson(const std::string& compact);

// A label value of the Prometheus text format (0.0.4): a backslash as \\, a double quote as \",
// a line feed as \n; every other control (C0, DEL, C1) becomes U+FFFD, and so does each byte that
// is not part of well-formed UTF-8, one per byte. The result is valid UTF-8 without a raw control.
std::string escapePrometheusLabel(const std::string& text);

}  // namespace ttyenum
