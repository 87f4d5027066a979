#pragma once

#include <ostream>

#include "common/listed_port.h"

namespace ttyenum {

// Writes the listed ports as Prometheus text exposition format 0.0.4, for
// node_exporter's textfile collector: the families ttyenum_port_info, ttyenum_port_in_use,
// ttyenum_port_holder and ttyenum_ports, each opened by its HELP and TYPE lines even when it has
// no sample, with one sample per port in listing order (holders only for held ports). Every
// label is written, an unknown value as empty text, escaped by escapePrometheusLabel. No
// timestamps.
void writePrometheusListing(const PortListing& listing, std::ostream& out);

}  // namespace ttyenum
