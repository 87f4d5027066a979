// ttyenum: lists the machine's serial ports and whether a process holds them open.
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/json_listing.h"
#include "app/listing.h"
#include "app/port_watch.h"
#include "app/prometheus_listing.h"
#include "discovery/port_enumerator.h"

namespace {

// Runs the listing into one buffer, so that a failed write is seen and reported once.
int listPorts(const ttyenum::ListingSettings& settings) {
  std::vector<ttyenum::PortInfo> ports;
  std::vector<ttyenum::PortFacts> facts;
  ttyenum::PortEnumerator enumerator;
  std::ostringstream out;
  enumerator.enumerate(ports, facts, ttyenum::factsNeededBy(settings));
  if (settings.prometheus)
    ttyenum::writePrometheusListing(ports, facts, settings, out);
  else if (settings.json)
    ttyenum::writeJsonListing(ports, facts, settings, out);
  else
    ttyenum::writeListing(ports, facts, settings, out);
  return ttyenum::deliverOutput(STDOUT_FILENO, out.str(), std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  ttyenum::CommandLine commandLine(argc, argv);
  if (!commandLine.parse()) {
    commandLine.showUsage();
    return ttyenum::kExitUsage;
  }
  const ttyenum::RunPlan plan = ttyenum::evaluateOptions(commandLine.optionValues());
  switch (plan.action) {
    case ttyenum::RunAction::kShowHelp:
      commandLine.showUsage();
      return ttyenum::kExitSuccess;
    case ttyenum::RunAction::kShowVersion:
      return ttyenum::deliverOutput(STDOUT_FILENO, std::string(ttyenum::kVersionText) + "\n",
                                    std::cerr);
    case ttyenum::RunAction::kRejectValue:
      commandLine.showUsage();
      return ttyenum::kExitUsage;
    case ttyenum::RunAction::kList:
      break;
  }
  if (plan.settings.watch)
    return ttyenum::watchPorts(plan.settings, STDOUT_FILENO, std::cerr);
  return listPorts(plan.settings);
}
