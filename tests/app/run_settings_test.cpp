#include "app/run_settings.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

TEST(EvaluateOptions, PrecedenceAndExactValues) {
  struct Row {
    const char* name;
    OptionValues values;
    RunAction expected;
  };
  const RunAction kYes = RunAction::kList, kNo = RunAction::kRejectValue;
  auto with = [](auto change) {
    OptionValues values;
    change(values);
    return values;
  };
  const Row rows[] = {
      {"nothing given", {}, RunAction::kList},
      {"help", with([](OptionValues& v) { v.help = true; }), RunAction::kShowHelp},
      {"help over version", with([](OptionValues& v) { v.help = v.version = true; }),
       RunAction::kShowHelp},
      {"help over bad list", with([](OptionValues& v) { v.help = true, v.list = "x"; }),
       RunAction::kShowHelp},
      {"version", with([](OptionValues& v) { v.version = true; }), RunAction::kShowVersion},
      {"version over bad list and state",
       with([](OptionValues& v) { v.version = true, v.list = "x", v.state = "y"; }),
       RunAction::kShowVersion},
      {"list short", with([](OptionValues& v) { v.list = "short"; }), RunAction::kList},
      {"list long", with([](OptionValues& v) { v.list = "long"; }), RunAction::kList},
      {"list case counts", with([](OptionValues& v) { v.list = "Short"; }),
       RunAction::kRejectValue},
      {"list empty", with([](OptionValues& v) { v.list = ""; }), RunAction::kRejectValue},
      {"list with trailing blank", with([](OptionValues& v) { v.list = "long "; }),
       RunAction::kRejectValue},
      {"state free", with([](OptionValues& v) { v.state = "free"; }), RunAction::kList},
      {"state used", with([](OptionValues& v) { v.state = "used"; }), RunAction::kList},
      {"state exist", with([](OptionValues& v) { v.state = "exist"; }), RunAction::kList},
      {"state case counts", with([](OptionValues& v) { v.state = "FREE"; }),
       RunAction::kRejectValue},
      {"state empty", with([](OptionValues& v) { v.state = ""; }), RunAction::kRejectValue},
      {"state prefix", with([](OptionValues& v) { v.state = "fre"; }), RunAction::kRejectValue},
      {"prometheus", with([](OptionValues& v) { v.prometheus = true; }), RunAction::kList},
      {"prometheus with json", with([](OptionValues& v) { v.prometheus = v.json = true; }),
       RunAction::kRejectValue},
      {"prometheus with watch", with([](OptionValues& v) { v.prometheus = v.watch = true; }),
       RunAction::kRejectValue},
      {"version over prometheus with json",
       with([](OptionValues& v) { v.version = v.prometheus = v.json = true; }),
       RunAction::kShowVersion},
      {"wait with watch", with([](OptionValues& v) { v.wait = v.watch = true; }), kNo},
      {"wait with prometheus", with([](OptionValues& v) { v.wait = v.prometheus = true; }), kNo},
      {"timeout without wait", with([](OptionValues& v) { v.timeout = "2"; }), kNo},
      {"version over timeout without wait",
       with([](OptionValues& v) { v.version = true, v.timeout = "x"; }), RunAction::kShowVersion},
      {"missing, json, short", with([](OptionValues& v) {
         v.missing = v.json = v.noCounting = true, v.list = "short", v.vendorId = "1";
       }),
       kYes},
      {"missing, empty format", with([](OptionValues& v) { v.missing = true, v.format = ""; }),
       kYes},
      {"missing, format", with([](OptionValues& v) { v.missing = true, v.format = "%c"; }), kNo},
      {"missing, prometheus", with([](OptionValues& v) { v.missing = v.prometheus = true; }), kNo},
      {"missing, watch", with([](OptionValues& v) { v.missing = v.watch = true; }), kNo},
      {"missing, wait", with([](OptionValues& v) { v.missing = v.wait = true; }), kNo},
      {"empty format, pid, vid and port are fine",
       with([](OptionValues& v) { v.format = v.productId = v.vendorId = v.port = ""; }), kYes},
      {"rule with watch", with([](OptionValues& v) { v.udevRule = "a", v.watch = true; }), kNo},
      {"rule with missing", with([](OptionValues& v) { v.udevRule = "a", v.missing = true; }), kNo},
      {"rule with wait", with([](OptionValues& v) { v.udevRule = "a", v.wait = true; }), kNo},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(evaluateOptions(row.values).action, row.expected);
  }
}

// The timeout of --wait as given and in nanoseconds; 0 for a rejected value.
TEST(EvaluateOptions, TimeoutValues) {
  const std::pair<const char*, long long> rows[] = {
      {"0.5", 500000000LL},
      {"007", 7000000000LL},
      {"0.0000000001", 1},
      {"1.1234567899", 1123456789LL},
      {"99999999999999999999", 1000000000LL * 1000000000LL},
      {"0", 0},
      {"1e3", 0},
      {"-1", 0},
      {"", 0},
      {"1..5", 0},
      {"1.", 0},
      {".5", 0},
  };
  for (const auto& [text, nanoseconds] : rows) {
    SCOPED_TRACE(text);
    OptionValues values;
    values.wait = true;
    values.timeout = text;
    const RunPlan plan = evaluateOptions(values);
    const bool listed = plan.action == RunAction::kList;
    EXPECT_EQ(listed ? plan.settings.timeoutNanoseconds : 0, nanoseconds);
    EXPECT_EQ(plan.settings.timeoutText, listed ? text : "");
  }
}

TEST(EvaluateOptions, SettingsFromValues) {
  OptionValues values;
  values.format = "%c";
  values.list = "short";
  values.noCounting = true;
  values.productId = "6001";
  values.state = "used";
  values.vendorId = "0403";
  values.watch = true;
  const ListingSettings settings = evaluateOptions(values).settings;
  EXPECT_EQ(settings.format, "%c");
  EXPECT_EQ(settings.listForm, ListForm::kShort);
  EXPECT_TRUE(settings.countingOff);
  EXPECT_EQ(settings.filter.productId, "6001");
  EXPECT_EQ(settings.filter.state, StateFilter::kUsed);
  EXPECT_EQ(settings.filter.vendorId, "0403");
  EXPECT_TRUE(settings.watch);

  const ListingSettings defaults = evaluateOptions(OptionValues()).settings;
  EXPECT_EQ(defaults.format, "");
  EXPECT_EQ(defaults.listForm, ListForm::kLong);
  EXPECT_FALSE(defaults.countingOff);
  EXPECT_EQ(defaults.filter.state, StateFilter::kExist);
  EXPECT_FALSE(defaults.watch);
}

// Each form reads only the facts it shows; the metrics win over the format, as the JSON form does.
TEST(FactsNeededBy, EachFormReadsWhatItShows) {
  ListingSettings settings;
  EXPECT_FALSE(factsNeededBy(settings).any());
  settings.listForm = ListForm::kShort;
  EXPECT_FALSE(factsNeededBy(settings).any());
  settings.format = "%c %k %h";
  EXPECT_FALSE(factsNeededBy(settings).any());
  settings.format = "%c %a";
  EXPECT_TRUE(factsNeededBy(settings).node);
  EXPECT_FALSE(factsNeededBy(settings).links);

  settings.prometheus = true;
  const FactNeeds metrics = factsNeededBy(settings);
  EXPECT_TRUE(metrics.holderCommand);
  EXPECT_TRUE(metrics.links);
  EXPECT_FALSE(metrics.node);

  settings.prometheus = false;
  settings.json = true;
  const FactNeeds json = factsNeededBy(settings);
  EXPECT_TRUE(json.holderCommand && json.links && json.node);

  // A watch compares device numbers, and its format lines show the letters they name.
  settings.json = false;
  settings.watch = true;
  settings.format = "%c %H";
  const FactNeeds watch = factsNeededBy(settings);
  EXPECT_TRUE(watch.node && watch.holderCommand);
  EXPECT_FALSE(watch.links);

  // --port compares device numbers in every form, and leaves the rest to the form.
  settings.watch = false;
  settings.filter.port = "/dev/board";
  const FactNeeds port = factsNeededBy(settings);
  EXPECT_TRUE(port.node && port.holderCommand && !port.links);
}

}  // namespace
}  // namespace ttyenum
