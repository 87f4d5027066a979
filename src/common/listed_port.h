#pragma once

#include <cstddef>
#include <optional>
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

// Which ports a listing keeps. Empty ids and an empty port mean "no filter".
struct PortFilter {
  StateFilter state = StateFilter::kExist;
  std::string productId;
  std::string vendorId;
  std::string port;  // a path whose character device the port's node must be (links followed)
  std::optional<DeviceNumber> portDevice;  // `port` as looked up for this scan; none keeps nothing
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

// Keeps the ports that pass `filter` (with `port` set, those whose fact `device` is `portDevice`)
// and pairs each with the facts at its index of `facts`
// (unknown facts where `facts` is shorter).
PortListing filterPorts(std::vector<PortInfo> ports, std::vector<PortFacts> facts,
                        const PortFilter& filter);

}  // namespace ttyenum
