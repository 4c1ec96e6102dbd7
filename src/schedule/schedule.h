// The schedule: entries that play a show or a list, or run a command, on
// chosen days between a start and an end given as clock times or by the
// sun; read from and written to its JSON with errors that name the entry
// and the field.
#pragma once

#include <bitset>
#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <date/date.h>
#include <nlohmann/json.hpp>

#include "schedule/sun_times.h"

namespace lumora::schedule {

// A start or an end: a clock time of the day, or a sun event moved by whole
// minutes.
struct TTimeOfDay {
  std::optional<TSunEvent> Sun;
  // The clock time (0 to 24 h) when Sun is unset, else the offset.
  std::chrono::seconds Clock{0};
  std::chrono::minutes Offset{0};

  bool operator==(const TTimeOfDay&) const = default;
};

enum class TDayRule { Weekdays, Odd, Even };

// The days an entry may start on.
struct TDays {
  TDayRule Rule = TDayRule::Weekdays;
  // Sunday 0 to Saturday 6, as date::weekday counts.
  std::bitset<7> Weekdays{0x7F};

  bool operator==(const TDays&) const = default;
};

// The days between two dates, both included; every year, the same months
// and days of any year (a range may run over the new year).
struct TDateRange {
  date::year_month_day From;
  date::year_month_day To;
  bool EveryYear = false;

  bool operator==(const TDateRange&) const = default;
};

enum class TRepeat { Once, Loop, Every };
// How a show stops at its end time: at once, at the end of the list's
// current entry, or at the end of the list's pass.
enum class TStopKind { Now, Entry, Pass };

struct TScheduleEntry {
  // A show or list of the show folder, or else a command of the bus.
  std::string Play;
  std::string Command;
  nlohmann::json Args = nlohmann::json::object();
  TDays Days;
  std::optional<TDateRange> Dates;
  TTimeOfDay Start;
  // Unset only for a command run once.
  std::optional<TTimeOfDay> End;
  TRepeat Repeat = TRepeat::Loop;
  // For TRepeat::Every.
  std::chrono::minutes Interval{0};
  TStopKind Stop = TStopKind::Entry;
  int Priority = 0;
  bool Enabled = true;
  // A label of the user's own.
  std::string Name;

  bool IsCommand() const { return Play.empty(); }
  bool operator==(const TScheduleEntry&) const = default;
};

struct TSchedule {
  std::vector<TScheduleEntry> Entries;
  std::optional<TLocation> Location;
  // A name of the time-zone database; empty for the machine's zone.
  std::string TimeZone;
  // Whether a show started by hand keeps the stage until it ends, unless
  // the command that started it says otherwise.
  bool ProtectManual = true;

  bool operator==(const TSchedule&) const = default;
};

// A schedule that cannot be used. The message names the entry by its index
// in "entries" and the field: `entries[2].start: "25:00" is not …`.
class TScheduleError : public std::invalid_argument {
 public:
  TScheduleError(std::optional<std::size_t> entry, std::string field, const std::string& fault);
  std::optional<std::size_t> Entry() const { return fEntry; }
  const std::string& Field() const { return fField; }

 private:
  std::optional<std::size_t> fEntry;
  std::string fField;
};

inline constexpr std::size_t kMaxScheduleEntries = 1000;

// What stands in for a schedule's own "location" and "timezone" when it
// names none: the player's configuration.
struct TScheduleDefaults {
  std::optional<TLocation> Location;
  std::string TimeZone;
};

// Raise TScheduleError for the first fault found; an entry nested deeper
// than control::kMaxJsonDepth is one.
TSchedule ReadSchedule(const nlohmann::json& document, const TScheduleDefaults& defaults = {});
nlohmann::json WriteSchedule(const TSchedule& schedule);

// A value as an error message shows it: a number, true, false, null or a
// short list of them as written, a text quoted and cut after 64
// characters, any other list or object by its kind alone (writing a
// deeply nested one out would overflow the stack).
std::string ShownValue(const nlohmann::json& value);

// "18:30", "sunset+15", "dawn-10": what the JSON holds.
std::string FormatTimeOfDay(const TTimeOfDay& time);

}  // namespace lumora::schedule
