#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/port_facts.h"
#include "common/port_info.h"

namespace ttyenum {

inline constexpr char kVersionText[] = "0.1.0";

// Exit statuses: every listing, -h and -v succeed, and so does a watch that a signal ends; output
// that cannot be written (or a watch with nothing to watch) and a command line that is rejected
// (by the parser or for a bad --list or --state value) fail.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitWriteError = 1;
inline constexpr int kExitUsage = 2;

enum class ListForm { kLong, kShort };
enum class StateFilter { kExist, kFree, kUsed };

// What the options decide for a listing. Empty texts mean "not set".
struct ListingSettings {
  std::string format;       // the format form when non-empty
  bool json = false;        // the JSON form, over the format and list forms
  bool prometheus = false;  // the metrics form, over the format and list forms; never with json
  ListForm listForm = ListForm::kLong;
  bool countingOff = false;
  std::string productIdFilter;
  StateFilter stateFilter = StateFilter::kExist;
  std::string vendorIdFilter;
  bool watch = false;  // keep running and report ports as they come and go
};

// The options as the parser found them, values as byte strings; absent options are nullopt.
struct OptionValues {
  bool help = false;
  bool version = false;
  bool noCounting = false;
  bool json = false;
  bool prometheus = false;
  bool watch = false;
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

// Decides the run from the parsed options. Precedence: -h, then -v, then a bad --list value or
// --prometheus with --json or --watch, then a bad --state value. Values match only exactly (case
// counts); empty --format, --pid and --vid act as absent.
RunPlan evaluateOptions(const OptionValues& values);

// True when the port passes the state filter and both id filters (exact byte equality; a set
// filter never matches an empty id).
bool passesFilters(const PortInfo& port, const ListingSettings& settings);

// The facts beyond the probes' own reads that the chosen form shows: all for JSON, holder
// commands and stable links for the metrics, what the format names for the format form, none
// for the long and short forms; a watch adds the node's facts, whose device number tells ports
// apart.
FactNeeds factsNeededBy(const ListingSettings& settings);

// The ten-line block: rule, eight labelled fields, rule.
void writeLongForm(const PortInfo& port, std::ostream& out);
// The port name and a line feed.
void writeShortForm(const PortInfo& port, std::ostream& out);

// Writes each port that passes the filters in the chosen form (format over short over long),
// then "Found serial ports: N" unless counting is off. An empty port list writes nothing at
// all. Returns the number of ports written.
int writeListing(const std::vector<PortInfo>& ports, const ListingSettings& settings,
                 std::ostream& out);
// The same, with the facts at the same index of `facts` for the format form's fact letters.
int writeListing(const std::vector<PortInfo>& ports, const std::vector<PortFacts>& facts,
                 const ListingSettings& settings, std::ostream& out);

// Writes `bytes` whole to descriptor `fd`. On failure writes "ttyenum: write error: " and the
// system's reason to `errors` and returns kExitWriteError; else returns kExitSuccess.
int deliverOutput(int fd, const std::string& bytes, std::ostream& errors);

}  // namespace ttyenum
