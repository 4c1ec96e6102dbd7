#include "schedule/schedule_commands.h"

#include "schedule/schedule.h"

namespace lumora::schedule {

namespace {

using control::TCommandSpec;
using nlohmann::json;

json timeSchema(const char* description) {
  return {{"type", "string"},
          {"description", description},
          {"pattern", R"(^([0-9]{1,2}:[0-9]{2}(:[0-9]{2})?|(sunrise|sunset|dawn|dusk)( ?[+-] ?[0-9]{1,3})?)$)"}};
}

// An entry as the schedule's JSON holds it; the command checks it in full.
json entrySchema() {
  const json weekday = {{"type", "string"}, {"enum", {"mon", "tue", "wed", "thu", "fri", "sat", "sun"}}};
  const json date = {{"type", "string"}, {"pattern", "^[0-9]{4}-[0-9]{2}-[0-9]{2}$"}};
  return {{"type", "object"},
          {"additionalProperties", false},
          {"properties",
           {{"play", {{"type", "string"}, {"description", "a show or list of the show folder"}}},
            {"command", {{"type", "string"}, {"description", "instead of play: a command of the player"}}},
            {"args", {{"type", "object"}, {"description", "the command's arguments"}}},
            {"name", {{"type", "string"}}},
            {"days", {{"oneOf", {{{"type", "string"}, {"enum", {"all", "odd", "even"}}},
                                 {{"type", "array"}, {"items", weekday}, {"maxItems", 7}}}}}},
            {"dates", {{"type", "array"}, {"items", date}, {"minItems", 2}, {"maxItems", 2}}},
            {"every-year", {{"type", "boolean"}}},
            {"start", timeSchema("HH:MM[:SS], or sunrise, sunset, dawn or dusk with an offset in minutes")},
            {"end", timeSchema("the same; before the start: the next day")},
            {"repeat", {{"oneOf", {{{"type", "string"}, {"enum", {"once", "loop"}}},
                                   {{"type", "integer"}, {"minimum", 1}, {"maximum", 1440}}}}}},
            {"stop", {{"type", "string"}, {"enum", {"now", "entry", "pass"}}}},
            {"priority", {{"type", "integer"}}},
            {"enabled", {{"type", "boolean"}}}}}};
}

json locationSchema() {
  return {{"additionalProperties", false},
          {"required", {"latitude", "longitude"}},
          {"properties",
           {{"latitude", {{"type", "number"}, {"minimum", -90}, {"maximum", 90}}},
            {"longitude", {{"type", "number"}, {"minimum", -180}, {"maximum", 180}}}}}};
}

control::TArgumentSpec entryIndex() {
  return control::IntegerArgument("entry", "the entry, counted from 0 as in \"entries\"", 0, kMaxScheduleEntries - 1, true);
}

std::vector<TCommandSpec> makeSpecs() {
  return {
      control::CommandSpec("schedule-get", "The schedule as its file holds it."),
      control::CommandSpec(
          "schedule-put", "Replaces the schedule, checked entry by entry, and keeps it in its file.",
          {control::ArrayArgument("entries", "the entries", kMaxScheduleEntries, {{"items", entrySchema()}}),
           control::ObjectArgument("location", "where sun times are reckoned; degrees, north and east positive",
                                   locationSchema()),
           control::StringArgument("timezone", "a zone of the time-zone database, \"Area/City\"", false, 128),
           control::BooleanArgument("protect-manual", "a show started by hand keeps the stage until it ends")}),
      control::CommandSpec("schedule-range", "The starts the schedule will make from now over the coming days.",
                           {control::IntegerArgument("days", "today and the days after it; 14 when not given", 1,
                                                     kMaxRangeDays)}),
      control::CommandSpec("schedule-next", "Starts the next scheduled item now; it keeps its end."),
      control::CommandSpec("schedule-extend", "Moves the end of the scheduled entry playing.",
                           {control::IntegerArgument("minutes", "later, or earlier when below 0", -kMaxExtendMinutes,
                                                     kMaxExtendMinutes, true)}),
      control::CommandSpec("schedule-enable", "Lets an entry of the schedule run, or keeps it without running it.",
                           {entryIndex(), control::BooleanArgument("on", "true: it runs; false: it is kept idle", true)}),
      control::CommandSpec("schedule-delete", "Removes an entry from the schedule.", {entryIndex()}),
  };
}

}  // namespace

const std::vector<TCommandSpec>& ScheduleCommandSpecs() {
  static const std::vector<TCommandSpec> specs = makeSpecs();
  return specs;
}

const TCommandSpec& ScheduleCommandSpec(std::string_view name) {
  return control::FindCommandSpec(ScheduleCommandSpecs(), name);
}

}  // namespace lumora::schedule
