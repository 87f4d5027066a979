#include "app/format_port_info.h"

#include "app/output_escape.h"

namespace ttyenum {

namespace {

// Appends what placeholder `letter` stands for; unknown letters append nothing.
void appendPlaceholder(const PortInfo& port, char letter, std::string& out) {
  switch (letter) {
    case 'c':
      out += escapeFieldText(port.portName);
      break;
    case 'u':
      out += escapeFieldText(port.vendorId) + ":" + escapeFieldText(port.productId);
      break;
    case 'm':
      out += escapeFieldText(port.manufacturer);
      break;
    case 'p':
      out += escapeFieldText(port.product);
      break;
    case 'n':
      out += escapeFieldText(port.serialNumber);
      break;
    case 'd':
      out += escapeFieldText(port.driver);
      break;
    case 'v':
      out += escapeFieldText(port.version);
      break;
    case 's':
      out += port.inUse ? "used" : "free";
      break;
    case 't':
      out += '\t';
      break;
    default:
      break;
  }
}

}  // namespace

std::string formatPortInfo(const PortInfo& port, const std::string& format) {
  std::string out;
  bool pending = false;
  for (const char byte : format) {
    if (byte == '%') {
      if (pending)
        out += '%';
      pending = !pending;
    } else if (pending) {
      pending = false;
      appendPlaceholder(port, byte, out);
    } else {
      out += byte;
    }
  }
  out += '\n';
  return out;
}

}  // namespace ttyenum
