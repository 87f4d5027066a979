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
  return filterPorts(std::move(ports), std::move(facts), settings.filter);
}

std::string listingText(const PortListing& listing, const ListingSettings& settings) {
  std::ostringstream out;
  if (settings.prometheus)
    writePrometheusListing(listing, out);
  else if (settings.json)
    writeJsonListing(listing, out);
  else
    writeTextListing(listing, settings, out);
  return out.str();
}

int listPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
              std::ostream& errors) {
  return deliverOutput(outFd, listingText(scanPorts(enumerator, settings), settings), errors);
}

}  // namespace ttyenum
