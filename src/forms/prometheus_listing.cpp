#include "forms/prometheus_listing.h"

#include <string>
#include <utility>

#include "forms/output_escape.h"

namespace ttyenum {

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

void writeFamilyHead(const char* name, const char* help, std::ostream& out) {
  out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << " gauge\n";
}

void writeSample(const char* name, const Labels& labels, long value, std::ostream& out) {
  out << name;
  if (!labels.empty()) {
    out << '{';
    const char* separator = "";
    for (const auto& [label, text] : labels) {
      out << separator << label << "=\"" << escapePrometheusLabel(text) << '"';
      separator = ",";
    }
    out << '}';
  }
  out << ' ' << value << '\n';
}

Labels infoLabels(const PortInfo& port, const PortFacts& facts) {
  return {
      {"port", port.portName},
      {"kind", kindName(facts.kind)},
      {"vendor_id", port.vendorId},
      {"product_id", port.productId},
      {"manufacturer", port.manufacturer},
      {"product", port.product},
      {"serial", port.serialNumber},
      {"driver", port.driver},
      {"usb_location", facts.usbLocation},
      {"usb_interface", facts.usbInterface ? std::to_string(*facts.usbInterface) : std::string()},
      {"by_id", facts.firstLinkIn("/dev/serial/by-id/")},
      {"by_path", facts.firstLinkIn("/dev/serial/by-path/")},
  };
}

}  // namespace

void writePrometheusListing(const PortListing& listing, std::ostream& out) {
  const std::vector<ListedPort>& listed = listing.ports;
  writeFamilyHead("ttyenum_port_info",
                  "Serial port found by ttyenum, with its USB ids, device strings, driver and "
                  "stable /dev/serial names as labels; always 1.",
                  out);
  for (const ListedPort& entry : listed)
    writeSample("ttyenum_port_info", infoLabels(entry.port, entry.facts), 1, out);

  writeFamilyHead("ttyenum_port_in_use",
                  "Whether a process holds the serial port open: 1 when one does, else 0.", out);
  for (const ListedPort& entry : listed)
    writeSample("ttyenum_port_in_use", {{"port", entry.port.portName}}, entry.port.inUse ? 1 : 0,
                out);

  writeFamilyHead("ttyenum_port_holder",
                  "The process shown as holding the serial port, with its command name and what "
                  "shows it (via): a descriptor, else the port as its controlling terminal, else "
                  "a lock, else a lock file; among one kind the first in the text order of the "
                  "/proc/<pid> names. pid and command are empty when no process is named. Only "
                  "held ports, always 1.",
                  out);
  for (const ListedPort& entry : listed) {
    const PortFacts& facts = entry.facts;
    if (!facts.holderVia)
      continue;
    const bool known = facts.holderPid >= 0;
    writeSample("ttyenum_port_holder",
                {{"port", entry.port.portName},
                 {"pid", known ? std::to_string(facts.holderPid) : std::string()},
                 {"command", known ? facts.holderCommand.value_or(std::string()) : std::string()},
                 {"via", holderViaName(*facts.holderVia)}},
                1, out);
  }

  writeFamilyHead("ttyenum_ports", "Number of serial ports listed, after the filters.", out);
  writeSample("ttyenum_ports", {}, static_cast<long>(listed.size()), out);

  writeFamilyHead("ttyenum_holders_complete",
                  "Whether the descriptors of every process could be read, so that a free port "
                  "is surely free: 1 when they could, else 0.",
                  out);
  writeSample("ttyenum_holders_complete", {}, listing.holders.complete ? 1 : 0, out);
}

}  // namespace ttyenum
