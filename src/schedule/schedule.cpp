#include "schedule/schedule.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <charconv>
#include <cstdio>
#include <set>
#include <string_view>

#include "control/json_limits.h"

namespace lumora::schedule {

namespace {

using nlohmann::json;

constexpr std::array<std::string_view, 7> kWeekdayNames{"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
constexpr std::array<std::string_view, 4> kSunEventNames{"sunrise", "sunset", "dawn", "dusk"};
constexpr int kMaxSunOffsetMinutes = 720;
constexpr int kMaxIntervalMinutes = 1440;
constexpr int kMaxPriority = 1000000;
constexpr std::size_t kMaxTextLength = 4096;
constexpr std::size_t kMaxCommandNameLength = 64;

std::string shown(const json& value) { return ShownValue(value); }

// Reads the fields of one entry, naming it in every error.
class TEntryReader {
 public:
  TEntryReader(const json& entry, std::size_t index) : fEntry(entry), fIndex(index) {}

  [[noreturn]] void Fail(const std::string& field, const std::string& fault) const {
    throw TScheduleError(fIndex, field, fault);
  }
  const json* Find(const char* field) const {
    const auto it = fEntry.find(field);
    return it == fEntry.end() ? nullptr : &*it;
  }
  std::string Text(const char* field, std::size_t maxLength) const;
  bool Flag(const char* field, bool otherwise) const;
  int Integer(const char* field, int lowest, int highest, int otherwise) const;

 private:
  const json& fEntry;
  std::size_t fIndex;
};

std::string TEntryReader::Text(const char* field, std::size_t maxLength) const {
  const json* value = Find(field);
  if (value == nullptr) return {};
  if (!value->is_string()) Fail(field, shown(*value) + " is not a text");
  const std::string& text = value->get_ref<const std::string&>();
  if (text.size() > maxLength) Fail(field, "is longer than " + std::to_string(maxLength) + " bytes");
  if (text.find('\0') != std::string::npos) Fail(field, "holds a NUL character");
  return text;
}

bool TEntryReader::Flag(const char* field, bool otherwise) const {
  const json* value = Find(field);
  if (value == nullptr) return otherwise;
  if (!value->is_boolean()) Fail(field, shown(*value) + " is not true or false");
  return value->get<bool>();
}

int TEntryReader::Integer(const char* field, int lowest, int highest, int otherwise) const {
  const json* value = Find(field);
  if (value == nullptr) return otherwise;
  if (!value->is_number_integer() || value->get<long long>() < lowest || value->get<long long>() > highest) {
    Fail(field, shown(*value) + " is not a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest));
  }
  return static_cast<int>(value->get<long long>());
}

// Digits of a number field at `pos`; false when there are none or too many.
bool readNumber(std::string_view text, std::size_t& pos, std::size_t maxDigits, int& value) {
  const std::size_t start = pos;
  while (pos < text.size() && pos - start < maxDigits + 1 && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
  if (pos == start || pos - start > maxDigits) return false;
  std::from_chars(text.data() + start, text.data() + pos, value);
  return true;
}

// Exactly two digits at `pos`.
bool readTwoDigits(std::string_view text, std::size_t& pos, int& value) {
  const std::size_t start = pos;
  return readNumber(text, pos, 2, value) && pos - start == 2;
}

// "H:MM", "HH:MM" or "HH:MM:SS"; 24:00 only where allowed.
std::optional<std::chrono::seconds> parseClock(std::string_view text, bool allowMidnightEnd) {
  std::size_t pos = 0;
  int hours = 0, minutes = 0, seconds = 0;
  if (!readNumber(text, pos, 2, hours) || pos >= text.size() || text[pos++] != ':') return std::nullopt;
  if (!readTwoDigits(text, pos, minutes)) return std::nullopt;
  if (pos < text.size() && (text[pos++] != ':' || !readTwoDigits(text, pos, seconds))) return std::nullopt;
  if (pos != text.size() || minutes > 59 || seconds > 59) return std::nullopt;
  const bool midnightEnd = allowMidnightEnd && hours == 24 && minutes == 0 && seconds == 0;
  if (hours > 23 && !midnightEnd) return std::nullopt;
  return std::chrono::seconds{hours * 3600 + minutes * 60 + seconds};
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// "sunset", "sunset+15", "dusk - 10".
std::optional<TTimeOfDay> parseSunTime(std::string_view text) {
  for (std::size_t i = 0; i < kSunEventNames.size(); ++i) {
    if (!text.starts_with(kSunEventNames[i])) continue;
    TTimeOfDay time{static_cast<TSunEvent>(i)};
    const std::string_view rest = trimmed(text.substr(kSunEventNames[i].size()));
    if (rest.empty()) return time;
    if (rest.front() != '+' && rest.front() != '-') return std::nullopt;
    const std::string_view digits = trimmed(rest.substr(1));
    std::size_t pos = 0;
    int minutes = 0;
    if (!readNumber(digits, pos, 4, minutes) || pos != digits.size() || minutes > kMaxSunOffsetMinutes) return std::nullopt;
    time.Offset = std::chrono::minutes{rest.front() == '-' ? -minutes : minutes};
    return time;
  }
  return std::nullopt;
}

TTimeOfDay readTimeOfDay(const TEntryReader& reader, const char* field, bool isEnd) {
  const std::string text = reader.Text(field, 64);
  if (const auto clock = parseClock(text, isEnd)) return TTimeOfDay{std::nullopt, *clock};
  if (const auto sun = parseSunTime(text)) return *sun;
  reader.Fail(field, shown(text) + " is neither a clock time (HH:MM or HH:MM:SS" + std::string(isEnd ? ", up to 24:00" : "") +
                         ") nor sunrise, sunset, dawn or dusk with an offset of up to " + std::to_string(kMaxSunOffsetMinutes) +
                         " minutes (\"sunset+15\")");
}

TDays readDays(const TEntryReader& reader) {
  const json* value = reader.Find("days");
  if (value == nullptr || *value == "all") return {};
  if (*value == "odd") return {TDayRule::Odd};
  if (*value == "even") return {TDayRule::Even};
  const std::string expected = " (\"mon\" … \"sun\", or \"all\", \"odd\" or \"even\" alone)";
  if (!value->is_array() || value->empty()) reader.Fail("days", shown(*value) + " is not a list of weekdays" + expected);
  TDays days{TDayRule::Weekdays, 0};
  for (const json& day : *value) {
    std::size_t index = 0;
    while (index < kWeekdayNames.size() && !(day.is_string() && day.get_ref<const std::string&>() == kWeekdayNames[index])) ++index;
    if (index == kWeekdayNames.size()) reader.Fail("days", shown(day) + " is not a weekday" + expected);
    if (days.Weekdays.test(index)) reader.Fail("days", shown(day) + " is named twice");
    days.Weekdays.set(index);
  }
  return days;
}

std::optional<date::year_month_day> parseDate(const json& value) {
  if (!value.is_string()) return std::nullopt;
  const std::string_view text = value.get_ref<const std::string&>();
  int year = 0, month = 0, day = 0;
  std::size_t pos = 0;
  const bool shaped = text.size() == 10 && readNumber(text, pos, 4, year) && pos == 4 && text[pos++] == '-' &&
                      readNumber(text, pos, 2, month) && pos == 7 && text[pos++] == '-' && readNumber(text, pos, 2, day) && pos == 10;
  const date::year_month_day date{date::year{year}, date::month{static_cast<unsigned>(month)}, date::day{static_cast<unsigned>(day)}};
  if (!shaped || !date.ok()) return std::nullopt;
  return date;
}

std::optional<TDateRange> readDates(const TEntryReader& reader) {
  const json* value = reader.Find("dates");
  const bool everyYear = reader.Flag("every-year", false);
  if (value == nullptr) {
    if (everyYear) reader.Fail("every-year", "needs \"dates\"");
    return std::nullopt;
  }
  if (!value->is_array() || value->size() != 2) reader.Fail("dates", shown(*value) + " is not two dates [\"YYYY-MM-DD\", \"YYYY-MM-DD\"]");
  const auto from = parseDate((*value)[0]);
  const auto to = parseDate((*value)[1]);
  if (!from) reader.Fail("dates", shown((*value)[0]) + " is not a date (YYYY-MM-DD)");
  if (!to) reader.Fail("dates", shown((*value)[1]) + " is not a date (YYYY-MM-DD)");
  if (!everyYear && date::sys_days{*to} < date::sys_days{*from}) reader.Fail("dates", "the last date is before the first");
  return TDateRange{*from, *to, everyYear};
}

void readRepeat(const TEntryReader& reader, TScheduleEntry& entry) {
  const json* value = reader.Find("repeat");
  entry.Repeat = entry.IsCommand() ? TRepeat::Once : TRepeat::Loop;
  if (value == nullptr) return;
  if (*value == "once") {
    entry.Repeat = TRepeat::Once;
  } else if (*value == "loop" && !entry.IsCommand()) {
    entry.Repeat = TRepeat::Loop;
  } else if (value->is_number_integer()) {
    entry.Repeat = TRepeat::Every;
    entry.Interval = std::chrono::minutes{reader.Integer("repeat", 1, kMaxIntervalMinutes, 0)};
  } else {
    reader.Fail("repeat", shown(*value) + " is not \"once\", " + std::string(entry.IsCommand() ? "" : "\"loop\", ") +
                              "or minutes between starts (1 to " + std::to_string(kMaxIntervalMinutes) + ")");
  }
}

TStopKind readStop(const TEntryReader& reader) {
  const json* value = reader.Find("stop");
  if (value == nullptr) return TStopKind::Entry;
  if (*value == "now") return TStopKind::Now;
  if (*value == "entry") return TStopKind::Entry;
  if (*value == "pass") return TStopKind::Pass;
  reader.Fail("stop", shown(*value) + " is not \"now\", \"entry\" or \"pass\"");
}

bool isCommandName(std::string_view name) {
  if (name.empty() || name.size() > kMaxCommandNameLength) return false;
  for (const char c : name) {
    if (!(std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '-')) return false;
  }
  return true;
}

void readAction(const TEntryReader& reader, TScheduleEntry& entry) {
  entry.Play = reader.Text("play", kMaxTextLength);
  entry.Command = reader.Text("command", kMaxCommandNameLength + 1);
  const bool hasPlay = reader.Find("play") != nullptr;
  const bool hasCommand = reader.Find("command") != nullptr;
  if (hasPlay == hasCommand) reader.Fail("play", "an entry names either \"play\" (a show or list) or \"command\", and one of them");
  if (hasPlay && entry.Play.empty()) reader.Fail("play", "is empty");
  if (hasCommand && !isCommandName(entry.Command)) reader.Fail("command", shown(entry.Command) + " is not a command name");
  if (const json* args = reader.Find("args")) {
    if (!hasCommand) reader.Fail("args", "belongs to a \"command\" entry");
    if (!args->is_object()) reader.Fail("args", "is not an object");
    entry.Args = *args;
  }
}

void checkKeys(const json& object, std::initializer_list<std::string_view> keys, const std::optional<std::size_t> entry) {
  for (const auto& [key, value] : object.items()) {
    bool known = false;
    for (const std::string_view name : keys) known = known || key == name;
    if (!known) throw TScheduleError(entry, key, "is not a key of the schedule");
  }
}

TScheduleEntry readEntry(const json& value, std::size_t index) {
  if (!value.is_object()) throw TScheduleError(index, "", "is not an object");
  checkKeys(value, {"play", "command", "args", "days", "dates", "every-year", "start", "end", "repeat", "stop", "priority", "enabled", "name"},
            index);
  const TEntryReader reader(value, index);
  TScheduleEntry entry;
  readAction(reader, entry);
  entry.Days = readDays(reader);
  entry.Dates = readDates(reader);
  if (reader.Find("start") == nullptr) reader.Fail("start", "is missing");
  entry.Start = readTimeOfDay(reader, "start", false);
  readRepeat(reader, entry);
  if (reader.Find("end") != nullptr) {
    entry.End = readTimeOfDay(reader, "end", true);
  } else if (!entry.IsCommand() || entry.Repeat == TRepeat::Every) {
    reader.Fail("end", "is missing");
  }
  entry.Stop = readStop(reader);
  entry.Priority = reader.Integer("priority", -kMaxPriority, kMaxPriority, 0);
  entry.Enabled = reader.Flag("enabled", true);
  entry.Name = reader.Text("name", kMaxTextLength);
  return entry;
}

std::optional<TLocation> readLocation(const json& document) {
  const auto it = document.find("location");
  if (it == document.end()) return std::nullopt;
  if (!it->is_object()) throw TScheduleError(std::nullopt, "location", "is not an object {\"latitude\", \"longitude\"}");
  checkKeys(*it, {"latitude", "longitude"}, std::nullopt);
  const auto degrees = [&](const char* key, double limit) {
    const auto value = it->find(key);
    if (value == it->end() || !value->is_number() || std::abs(value->get<double>()) > limit) {
      throw TScheduleError(std::nullopt, std::string("location.") + key, "is not a number of degrees from -" + std::to_string(int(limit)) +
                                                                           " to " + std::to_string(int(limit)));
    }
    return value->get<double>();
  };
  return TLocation{degrees("latitude", 90), degrees("longitude", 180)};
}

std::string readTimeZone(const json& document) {
  const auto it = document.find("timezone");
  if (it == document.end()) return {};
  if (!it->is_string() || it->get_ref<const std::string&>().size() > 128) throw TScheduleError(std::nullopt, "timezone", "is not a zone name (\"Area/City\")");
  const std::string name = it->get<std::string>();
  try {
    TLocalZone{name};
  } catch (const std::invalid_argument& error) {
    throw TScheduleError(std::nullopt, "timezone", error.what());
  }
  return name;
}

bool usesSun(const TScheduleEntry& entry) { return entry.Start.Sun || (entry.End && entry.End->Sun); }

}  // namespace

std::string ShownValue(const json& value) {
  constexpr std::size_t kShownLength = 64;
  constexpr std::size_t kShownItems = 8;
  const bool flat = value.is_array() && value.size() <= kShownItems &&
                    std::none_of(value.begin(), value.end(), [](const json& item) { return item.is_structured(); });
  if (value.is_array() && !flat) return "a list of " + std::to_string(value.size()) + (value.size() == 1 ? " item" : " items");
  if (value.is_object()) return "an object";
  // Escaped to ASCII, so that a cut never splits a character.
  const std::string text = value.dump(-1, ' ', true, json::error_handler_t::replace);
  return text.size() > kShownLength ? text.substr(0, kShownLength) + "..." : text;
}

TScheduleError::TScheduleError(std::optional<std::size_t> entry, std::string field, const std::string& fault)
    : std::invalid_argument((entry ? "entries[" + std::to_string(*entry) + "]" + (field.empty() ? "" : ".") : std::string()) + field + ": " +
                            fault),
      fEntry(entry),
      fField(std::move(field)) {}

TSchedule ReadSchedule(const json& document, const TScheduleDefaults& defaults) {
  if (!document.is_object()) throw TScheduleError(std::nullopt, "schedule", "is not a JSON object");
  checkKeys(document, {"entries", "location", "timezone", "protect-manual"}, std::nullopt);
  TSchedule schedule;
  const auto entries = document.find("entries");
  if (entries != document.end()) {
    if (!entries->is_array()) throw TScheduleError(std::nullopt, "entries", "is not a list");
    if (entries->size() > kMaxScheduleEntries) throw TScheduleError(std::nullopt, "entries", "holds more than " + std::to_string(kMaxScheduleEntries) + " entries");
    for (std::size_t i = 0; i < entries->size(); ++i) {
      // An entry's arguments are copied and written out, which recurses.
      if (control::NestsDeeperThan((*entries)[i], control::kMaxJsonDepth)) {
        throw TScheduleError(i, "", "nests deeper than " + std::to_string(control::kMaxJsonDepth) + " levels");
      }
      schedule.Entries.push_back(readEntry((*entries)[i], i));
    }
  }
  schedule.Location = document.contains("location") ? readLocation(document) : defaults.Location;
  schedule.TimeZone = document.contains("timezone") ? readTimeZone(document) : defaults.TimeZone;
  const auto protect = document.find("protect-manual");
  if (protect != document.end()) {
    if (!protect->is_boolean()) throw TScheduleError(std::nullopt, "protect-manual", "is not true or false");
    schedule.ProtectManual = protect->get<bool>();
  }
  for (std::size_t i = 0; i < schedule.Entries.size(); ++i) {
    if (usesSun(schedule.Entries[i]) && !schedule.Location) {
      throw TScheduleError(i, schedule.Entries[i].Start.Sun ? "start" : "end", "a time by the sun needs the schedule's \"location\"");
    }
  }
  return schedule;
}

std::string FormatTimeOfDay(const TTimeOfDay& time) {
  if (time.Sun) {
    std::string text(kSunEventNames[static_cast<std::size_t>(*time.Sun)]);
    const long long offset = time.Offset.count();
    if (offset != 0) {
      text += offset > 0 ? '+' : '-';
      text += std::to_string(std::abs(offset));
    }
    return text;
  }
  const long long seconds = time.Clock.count();
  char text[64];
  if (seconds % 60 == 0) {
    std::snprintf(text, sizeof text, "%02lld:%02lld", seconds / 3600, seconds / 60 % 60);
  } else {
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  }
  return text;
}

namespace {

std::string formatDate(const date::year_month_day& day) { return date::format("%F", date::sys_days{day}); }

json writeDays(const TDays& days) {
  if (days.Rule == TDayRule::Odd) return "odd";
  if (days.Rule == TDayRule::Even) return "even";
  if (days.Weekdays.all()) return "all";
  json names = json::array();
  // Monday first, as people write a week.
  for (std::size_t i = 1; i <= 7; ++i) {
    if (days.Weekdays.test(i % 7)) names.push_back(kWeekdayNames[i % 7]);
  }
  return names;
}

json writeRepeat(const TScheduleEntry& entry) {
  if (entry.Repeat == TRepeat::Every) return entry.Interval.count();
  return entry.Repeat == TRepeat::Once ? "once" : "loop";
}

json writeEntry(const TScheduleEntry& entry) {
  json out = json::object();
  if (entry.IsCommand()) {
    out["command"] = entry.Command;
    out["args"] = entry.Args;
  } else {
    out["play"] = entry.Play;
  }
  if (!entry.Name.empty()) out["name"] = entry.Name;
  out["days"] = writeDays(entry.Days);
  if (entry.Dates) {
    out["dates"] = {formatDate(entry.Dates->From), formatDate(entry.Dates->To)};
    out["every-year"] = entry.Dates->EveryYear;
  }
  out["start"] = FormatTimeOfDay(entry.Start);
  if (entry.End) out["end"] = FormatTimeOfDay(*entry.End);
  out["repeat"] = writeRepeat(entry);
  constexpr std::array<const char*, 3> kStopNames{"now", "entry", "pass"};
  out["stop"] = kStopNames[static_cast<std::size_t>(entry.Stop)];
  out["priority"] = entry.Priority;
  out["enabled"] = entry.Enabled;
  return out;
}

}  // namespace

json WriteSchedule(const TSchedule& schedule) {
  json out = json::object();
  out["entries"] = json::array();
  for (const TScheduleEntry& entry : schedule.Entries) out["entries"].push_back(writeEntry(entry));
  if (schedule.Location) out["location"] = {{"latitude", schedule.Location->Latitude}, {"longitude", schedule.Location->Longitude}};
  if (!schedule.TimeZone.empty()) out["timezone"] = schedule.TimeZone;
  out["protect-manual"] = schedule.ProtectManual;
  return out;
}

}  // namespace lumora::schedule
