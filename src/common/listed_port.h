#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/port_facts.h"
#include "common/port_holder.h"
#include "common/port_info.h"

namespace ttyenum {

// One port of a listing with its facts: what every form writes and what a watch keeps between
// scans.
struct ListedPort {
  PortInfo port;
  PortFacts facts;
};

enum class StateFilter { kExist, kFree, kUsed };

// Which ports a listing keeps. Empty ids mean "no filter".
struct PortFilter {
  StateFilter state = StateFilter::kExist;
  std::string productId;
  std::string vendorId;
};

// True when the port passes the state filter and both id filters (exact byte equality; a set
// filter never matches an empty id).
bool passesFilter(const PortInfo& port, const PortFilter& filter);

// The ports of one listing, in listing order, with how many discovery found before the filters.
struct PortListing {
  std::vector<ListedPort> ports;
  size_t found = 0;
  HolderCoverage holders;  // how much of the machine the holder scan could see
};

// Keeps the ports that pass `filter` and pairs each with the facts at its index of `facts`
// (unknown facts where `facts` is shorter).
PortListing filterPorts(std::vector<PortInfo> ports, std::vector<PortFacts> facts,
                        const PortFilter& filter);

}  // namespace ttyenum
