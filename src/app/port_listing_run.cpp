#include "app/port_listing_run.h"

#include <sstream>
#include <vector>

#include "app/output_delivery.h"
#include "app/text_listing.h"
#include "forms/json_listing.h"
#include "forms/prometheus_listing.h"

namespace ttyenum {

PortListing scanPorts(PortEnumerator& enumerator, const ListingSettings& settings) {
  std::vector<PortInfo> ports;
  std::vector<PortFacts> facts;
  enumerator.enumerate(ports, facts, factsNeededBy(settings));
  PortListing listing = filterPorts(std::move(ports), std::move(facts), settings.filter);
  listing.holders = enumerator.holderCoverage();
  return listing;
}

int listPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
              std::ostream& errors) {
  const PortListing listing = scanPorts(enumerator, settings);
  std::ostringstream out;
  if (settings.prometheus)
    writePrometheusListing(listing, out);
  else if (settings.json)
    writeJsonListing(listing, out);
  else
    writeTextListing(listing, settings, out);
  return deliverOutput(outFd, out.str(), errors);
}

}  // namespace ttyenum
