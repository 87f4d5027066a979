#include "app/port_listing_run.h"

#include <sstream>
#include <vector>

#include "app/output_delivery.h"
#include "app/text_listing.h"
#include "discovery/device_node.h"
#include "discovery/missing_interface_scan.h"
#include "discovery/module_index.h"
#include "discovery/udev_rule_reader.h"
#include "forms/json_listing.h"
#include "forms/missing_listing.h"
#include "forms/prometheus_listing.h"
#include "forms/udev_rule.h"

namespace ttyenum {

namespace {

bool isLongForm(const ListingSettings& settings) {
  return !settings.prometheus && !settings.json && settings.format.empty() &&
         settings.listForm == ListForm::kLong;
}

// Reads each USB interface's driver link, and more only of those without a driver or on usbfs.
size_t countMissingInterfaces(const FileSystemRoot& root) {
  return findMissingInterfaces(*runningKernelIndex(root), MissingDetail::kNames, root)
      .interfaces.size();
}

int deliverUdevRule(const PortListing& listing, const std::string& name, const FileSystemRoot& root,
                    int outFd, std::ostream& errors) {
  if (listing.ports.size() != 1) {
    errors << udevRuleCountMessage(listing);
    errors.flush();
    return kExitNoOnePort;
  }
  const UdevRuleFacts facts = readUdevRuleFacts(listing.ports.front().port.portName, root);
  return deliverOutput(outFd, udevRuleText(chooseUdevRuleIdentity(facts), name), errors);
}

}  // namespace

PortListing scanPorts(PortEnumerator& enumerator, const ListingSettings& settings,
                      std::vector<std::string>* nodes) {
  std::vector<PortInfo> ports;
  std::vector<PortFacts> facts;
  enumerator.enumerate(ports, facts, factsNeededBy(settings));
  if (nodes != nullptr) {
    for (const PortInfo& port : ports)
      nodes->push_back(port.portName);
  }
  PortFilter filter = settings.filter;
  // Looked up at every scan: the path may come and go, or lead to another node, between scans.
  if (!filter.port.empty())
    filter.portDevice = characterDeviceAt(filter.port, enumerator.root());
  PortListing listing = filterPorts(std::move(ports), std::move(facts), filter);
  listing.holders = enumerator.holderCoverage();
  return listing;
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
  const PortListing listing = scanPorts(enumerator, settings);
  if (!settings.udevRuleName.empty())
    return deliverUdevRule(listing, settings.udevRuleName, enumerator.root(), outFd, errors);
  const int status = deliverOutput(outFd, listingText(listing, settings), errors);
  if (isLongForm(settings)) {
    if (const size_t missing = countMissingInterfaces(enumerator.root()))
      errors << "ttyenum: " << missing
             << " USB serial interface(s) without a port; see ttyenum --missing\n";
  }
  return status;
}

int listMissingInterfaces(const ListingSettings& settings, const FileSystemRoot& root, int outFd,
                          std::ostream& errors) {
  const MissingListing listing =
      findMissingInterfaces(*runningKernelIndex(root), MissingDetail::kFull, root);
  if (listing.indexUnreadable)
    errors << "ttyenum: cannot read the kernel's module index; only CDC ACM interfaces are "
              "checked\n";
  std::ostringstream out;
  if (settings.json)
    writeMissingJson(listing, out);
  else
    writeMissingText(listing, out);
  return deliverOutput(outFd, out.str(), errors);
}

}  // namespace ttyenum
