// ttyenum: lists the machine's serial ports and whether a process holds them open.
#include <unistd.h>

#include <iostream>
#include <string>

#include "app/command_line.h"
#include "app/output_delivery.h"
#include "app/port_listing_run.h"
#include "app/port_watch.h"
#include "app/run_settings.h"
#include "discovery/port_enumerator.h"

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
  if (plan.settings.missing)
    return ttyenum::listMissingInterfaces(plan.settings, ttyenum::FileSystemRoot(), STDOUT_FILENO,
                                          std::cerr);
  ttyenum::PortEnumerator enumerator;
  return ttyenum::listPorts(plan.settings, enumerator, STDOUT_FILENO, std::cerr);
}
