#include "app/run_settings.h"

#include "forms/format_port_info.h"

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

// The forms and modes that --missing cannot go with: it is a listing of its own, in text or JSON.
bool conflictsWithMissing(const OptionValues& values) {
  return (values.format && !values.format->empty()) || values.prometheus || values.watch;
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
  if (values.missing && conflictsWithMissing(values)) {
    plan.action = RunAction::kRejectValue;
    return plan;
  }
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
  plan.action = RunAction::kList;
  return plan;
}

FactNeeds factsNeededBy(const ListingSettings& settings) {
  if (settings.json)
    return FactNeeds::all();
  if (settings.watch) {
    // A watch tells ports apart by their device numbers too.
    FactNeeds needs = settings.format.empty() ? FactNeeds() : factsUsedBy(settings.format);
    needs.node = true;
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

}  // namespace ttyenum
