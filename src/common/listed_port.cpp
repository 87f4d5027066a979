#include "common/listed_port.h"

#include <utility>

namespace ttyenum {

namespace {

bool passesStateFilter(bool inUse, StateFilter filter) {
  switch (filter) {
    case StateFilter::kFree:
      return !inUse;
    case StateFilter::kUsed:
      return inUse;
    case StateFilter::kExist:
      break;
  }
  return true;
}

bool passesIdFilter(const std::string& id, const std::string& filter) {
  return filter.empty() || id == filter;
}

}  // namespace

bool passesFilter(const PortInfo& port, const PortFilter& filter) {
  return passesStateFilter(port.inUse, filter.state) &&
         passesIdFilter(port.productId, filter.productId) &&
         passesIdFilter(port.vendorId, filter.vendorId);
}

PortListing filterPorts(std::vector<PortInfo> ports, std::vector<PortFacts> facts,
                        const PortFilter& filter) {
  PortListing listing;
  listing.found = ports.size();
  for (size_t i = 0; i < ports.size(); ++i) {
    if (!passesFilter(ports[i], filter))
      continue;
    listing.ports.push_back(
        ListedPort{std::move(ports[i]), i < facts.size() ? std::move(facts[i]) : PortFacts()});
  }
  return listing;
}

}  // namespace ttyenum
