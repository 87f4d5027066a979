#pragma once

#include <optional>
#include <string>

#include "common/listed_port.h"
#include "common/port_facts.h"

namespace ttyenum {

inline constexpr char kVersionText[] = "0.1.0";

enum class ListForm { kLong, kShort };

// What the options decide for a listing. Empty texts mean "not set".
struct ListingSettings {
  std::string format;       // the format form when non-empty
  bool json = false;        // the JSON form, over the format and list forms
  bool prometheus = false;  // the metrics form, over the format and list forms; never with json
  ListForm listForm = ListForm::kLong;
  bool countingOff = false;
  PortFilter filter;
  bool watch = false;    // keep running and report ports as they come and go
  bool missing = false;  // list the USB serial interfaces without a port instead (text or JSON)
};

// The options as the parser found them, values as byte strings; absent options are nullopt.
struct OptionValues {
  bool help = false;
  bool version = false;
  bool noCounting = false;
  bool json = false;
  bool prometheus = false;
  bool watch = false;
  bool missing = false;
  std::optional<std::string> format;
  std::optional<std::string> list;
  std::optional<std::string> productId;
  std::optional<std::string> state;
  std::optional<std::string> vendorId;
};

enum class RunAction {
  kList,         // list the ports with `settings`
  kShowHelp,     // usage text, success
  kShowVersion,  // version text on standard output
  kRejectValue,  // a --list or --state value outside its set, or forms that exclude each other:
                 // usage text, failure
};

struct RunPlan {
  RunAction action = RunAction::kList;
  ListingSettings settings;
};

// Decides the run from the parsed options. Precedence: -h, then -v, then a bad --list value,
// --prometheus with --json or --watch, or --missing with a form it replaces, then a bad --state
// value. Values match only exactly (case
// counts); empty --format, --pid and --vid act as absent.
RunPlan evaluateOptions(const OptionValues& values);

// The facts beyond the probes' own reads that the chosen form shows: all for JSON, holder
// commands and stable links for the metrics, what the format names for the format form, none
// for the long and short forms; a watch adds the node's facts, whose device number tells ports
// apart.
FactNeeds factsNeededBy(const ListingSettings& settings);

}  // namespace ttyenum
