#include "app/run_settings.h"

#include <algorithm>

#include "forms/format_port_info.h"
#include "forms/udev_rule.h"

namespace ttyenum {

namespace {

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

// Digits with an optional fraction ("2", "0.5"), greater than 0, in nanoseconds; the whole
// seconds stop at a billion and the fraction at nanoseconds, and a value below one nanosecond
// counts as one.
bool parseTimeout(const std::string& value, long long& nanoseconds) {
  const size_t point = value.find('.');
  const std::string whole = value.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : value.substr(point + 1);
  const auto allDigits = [](const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!allDigits(whole) || (point != std::string::npos && !allDigits(fraction)))
    return false;
  if (value.find_first_of("123456789") == std::string::npos)
    return false;
  long long seconds = 0;
  for (const char digit : whole)
    seconds = std::min(seconds * 10 + (digit - '0'), 1000000000LL);
  long long part = 0;
  for (size_t i = 0; i < 9; ++i)
    part = part * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  nanoseconds = std::max(1LL, seconds * 1000000000LL + part);
  return true;
}

// The forms and modes that --missing cannot go with: it is a listing of its own, in text or JSON.
bool conflictsWithMissing(const OptionValues& values) {
  return (values.format && !values.format->empty()) || values.prometheus || values.watch ||
         values.wait;
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
  // A wait prints one listing and ends: never with a stream, nor with a snapshot for a timer.
  if (values.wait && (values.watch || values.prometheus)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  if (values.timeout &&
      (!values.wait || !parseTimeout(*values.timeout, settings.timeoutNanoseconds))) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  if (values.timeout)
    settings.timeoutText = *values.timeout;
  settings.wait = values.wait;
  if (values.missing && conflictsWithMissing(values)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  // A rule is written once, for one port: neither a document of another form nor a stream.
  if (values.udevRule && (!isUdevRuleName(*values.udevRule) || values.json || values.prometheus ||
                          values.watch || values.missing || values.wait)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  settings.udevRuleName = values.udevRule.value_or(std::string());
  settings.missing = values.missing;
  settings.prometheus = values.prometheus;
  settings.countingOff = values.noCounting;
  settings.json = values.json;
  settings.watch = values.watch;
  if (values.productId)
    settings.filter.productId = *values.productId;
  if (values.state && !parseStateFilter(*values.state, settings.filter.state)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
  if (values.vendorId)
    settings.filter.vendorId = *values.vendorId;
  if (values.port)
    settings.filter.port = *values.port;
  plan.action = RunAction::kList;
  return plan;
}

FactNeeds factsNeededBy(const ListingSettings& settings) {
  if (!settings.filter.port.empty()) {
    // --port compares the nodes' device numbers.
    ListingSettings withoutPort = settings;
    withoutPort.filter.port.clear();
    FactNeeds needs = factsNeededBy(withoutPort);
    needs.node = true;
    return needs;
  }
  if (settings.json && !settings.watch)
    return FactNeeds::all();
  if (settings.watch || settings.wait) {
    // A watch tells ports apart by their device numbers and USB addresses too; the device
    // number also finds a port's udev database entry.
    FactNeeds needs = settings.json             ? FactNeeds::all()
                      : settings.format.empty() ? FactNeeds()
                                                : factsUsedBy(settings.format);
    needs.node = true;
    needs.usbAddress = true;
    needs.holderCoverage = settings.wait && settings.json;  // a watch's lines do not show it
    return needs;
  }
  if (settings.prometheus) {
    FactNeeds needs;
    needs.holderCommand = true;
    needs.links = true;
    needs.holderCoverage = true;
    return needs;
  }
  if (!settings.format.empty())
    return factsUsedBy(settings.format);
  return FactNeeds();
}

}  // namespace ttyenum
