#include "app/listing.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "app/format_port_info.h"
#include "app/output_escape.h"

namespace ttyenum {

namespace {

const char kRule[] = "------------------------------------------------------------\n";

bool parseListForm(const std::string& value, ListForm& form) {
  if (value == "short")
    form = ListForm::kShort;
  else if (value == "long")
    form = ListForm::kLong;
  else
    return false;
  return true;
}

bool parseStateFilter(const std::string& value, StateFilter& filter) {
  if (value == "free")
    filter = StateFilter::kFree;
  else if (value == "used")
    filter = StateFilter::kUsed;
  else if (value == "exist")
    filter = StateFilter::kExist;
  else
    return false;
  return true;
}

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

void writeField(const char* label, const std::string& text, std::ostream& out) {
  out << label << escapeFieldText(text) << '\n';
}

}  // namespace

RunPlan evaluateOptions(const OptionValues& values) {
  RunPlan plan;
  ListingSettings& settings = plan.settings;
  if (values.format)
    settings.format = *values.format;
  if (values.help) {
    plan.action = RunAction::kShowHelp;
    return plan;
  }
  if (values.version) {
    plan.action = RunAction::kShowVersion;
    return plan;
  }
  if (values.list && !parseListForm(*values.list, settings.listForm)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  // Metrics are a snapshot of their own, rewritten by a timer: neither a document of another
  // form nor a stream.
  if (values.prometheus && (values.json || values.watch)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  settings.prometheus = values.prometheus;
  settings.countingOff = values.noCounting;
  settings.json = values.json;
  settings.watch = values.watch;
  if (values.productId)
    settings.productIdFilter = *values.productId;
  if (values.state && !parseStateFilter(*values.state, settings.stateFilter)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  if (values.vendorId)
    settings.vendorIdFilter = *values.vendorId;
  plan.action = RunAction::kList;
  return plan;
}

bool passesFilters(const PortInfo& port, const ListingSettings& settings) {
  return passesStateFilter(port.inUse, settings.stateFilter) &&
         passesIdFilter(port.productId, settings.productIdFilter) &&
         passesIdFilter(port.vendorId, settings.vendorIdFilter);
}

FactNeeds factsNeededBy(const ListingSettings& settings) {
  if (settings.json && !settings.watch)
    return FactNeeds::all();
  if (settings.watch) {
    // A watch tells ports apart by their device numbers and USB addresses too.
    FactNeeds needs = settings.json            ? FactNeeds::all()
                      : settings.format.empty() ? FactNeeds()
                                                : factsUsedBy(settings.format);
    needs.node = true;
    needs.usbAddress = true;
    return needs;
  }
  if (settings.prometheus) {
    FactNeeds needs;
    needs.holderCommand = true;
    needs.links = true;
    return needs;
  }
  if (!settings.format.empty())
    return factsUsedBy(settings.format);
  return FactNeeds();
}

void writeLongForm(const PortInfo& port, std::ostream& out) {
  out << kRule;
  writeField("Portname:\t", port.portName, out);
  out << "VID:PID:\t" << escapeFieldText(port.vendorId) << ':' << escapeFieldText(port.productId)
      << '\n';
  writeField("Vendor:  \t", port.manufacturer, out);
  writeField("Product: \t", port.product, out);
  writeField("Serial:  \t", port.serialNumber, out);
  writeField("Driver:  \t", port.driver, out);
  writeField("Version: \t", port.version, out);
  out << "State:   \t" << (port.inUse ? "In use" : "free") << '\n';
  out << kRule;
}

void writeShortForm(const PortInfo& port, std::ostream& out) {
  writeField("", port.portName, out);
}

int writeListing(const std::vector<PortInfo>& ports, const ListingSettings& settings,
                 std::ostream& out) {
  return writeListing(ports, {}, settings, out);
}

int writeListing(const std::vector<PortInfo>& ports, const std::vector<PortFacts>& facts,
                 const ListingSettings& settings, std::ostream& out) {
  if (ports.empty())
    return 0;
  int counter = 0;
  for (size_t i = 0; i < ports.size(); ++i) {
    const PortInfo& port = ports[i];
    if (!passesFilters(port, settings))
      continue;
    if (!settings.format.empty())
      out << (i < facts.size() ? formatPortInfo(port, facts[i], settings.format)
                               : formatPortInfo(port, settings.format));
    else if (settings.listForm == ListForm::kShort)
      writeShortForm(port, out);
    else
      writeLongForm(port, out);
    ++counter;
  }
  if (!settings.countingOff)
    out << "Found serial ports: " << counter << '\n';
  return counter;
}

int deliverOutput(int fd, const std::string& bytes, std::ostream& errors) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (result < 0 && errno == EINTR)
      continue;
    if (result <= 0) {
      const int reason = result < 0 ? errno : EIO;
      errors << "ttyenum: write error: " << ::strerror(reason) << '\n';
      errors.flush();
      return kExitWriteError;
    }
    written += static_cast<size_t>(result);
  }
  return kExitSuccess;
}

}  // namespace ttyenum
