#include "app/port_listing_run.h"

#include <sstream>
#include <vector>

#include "app/output_delivery.h"
#include "app/text_listing.h"
#include "discovery/device_node.h"
#include "discovery/udev_rule_reader.h"
#include "forms/json_listing.h"
#include "forms/prometheus_listing.h"
#include "forms/udev_rule.h"

namespace ttyenum {

namespace {

int deliverUdevRule(const PortListing& listing, const std::string& name, int outFd,
                    std::ostream& errors) {
  if (listing.ports.size() != 1) {
    errors << udevRuleCountMessage(listing);
    errors.flush();
    return kExitNoOnePort;
  }
  const UdevRuleFacts facts = readUdevRuleFacts(listing.ports.front().port.portName);
  return deliverOutput(outFd, udevRuleText(chooseUdevRuleIdentity(facts), name), errors);
}

}  // namespace

PortListing scanPorts(PortEnumerator& enumerator, const ListingSettings& settings) {
  std::vector<PortInfo> ports;
  std::vector<PortFacts> facts;
  enumerator.enumerate(ports, facts, factsNeededBy(settings));
  PortFilter filter = settings.filter;
  // Looked up at every scan: the path may come and go, or lead to another node, between scans.
  if (!filter.port.empty())
    filter.portDevice = characterDeviceAt(filter.port);
  return filterPorts(std::move(ports), std::move(facts), filter);
}

int listPorts(const ListingSettings& settings, PortEnumerator& enumerator, int outFd,
              std::ostream& errors) {
  const PortListing listing = scanPorts(enumerator, settings);
  if (!settings.udevRuleName.empty())
    return deliverUdevRule(listing, settings.udevRuleName, outFd, errors);
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
