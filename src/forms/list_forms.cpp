#include "forms/list_forms.h"

#include "forms/output_escape.h"

namespace ttyenum {

namespace {

const char kRule[] = "------------------------------------------------------------\n";

void writeField(const char* label, const std::string& text, std::ostream& out) {
  out << label << escapeFieldText(text) << '\n';
}

}  // namespace

void writeLongForm(const PortInfo& port, std::ostream& out) {
  out << kRule;
  writeField("Portname:\t", port.portName, out);
  out << "VID:PID:\t" << escapeFieldText(port.vendorId) << ':' << escapeFieldText(port.productId)
      << '\n';
  writeField("Vendor:  \t", port.manufacturer, out);
  writeField("Product: \t", port.product, out);
  writeField("Serial:  \t", port.serialNumber, out);
  writeField("Driver:  \t", port.driver, out);
  writeField("Version: \t", port.version, out);
  out << "State:   \t" << (port.inUse ? "In use" : "free") << '\n';
  out << kRule;
}

void writeShortForm(const PortInfo& port, std::ostream& out) {
  writeField("", port.portName, out);
}

}  // namespace ttyenum
