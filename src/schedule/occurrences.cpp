#include "schedule/occurrences.h"

#include <algorithm>

namespace lumora::schedule {

namespace {

// Days resolved and kept at once; a schedule asks for a few days around
// now, a calendar for a few weeks.
constexpr std::size_t kMaxKeptDays = 64;
// A run starts at most 12 h before its day begins (sunrise-720) and ends at
// most two days after (an overnight end at sunset+720).
constexpr date::days kDaysBefore{2};

unsigned monthDay(const date::year_month_day& day) {
  return static_cast<unsigned>(day.month()) * 100 + static_cast<unsigned>(day.day());
}

bool inDateRange(const TDateRange& range, const date::year_month_day& day) {
  if (!range.EveryYear) return date::sys_days{range.From} <= date::sys_days{day} && date::sys_days{day} <= date::sys_days{range.To};
  const unsigned from = monthDay(range.From), to = monthDay(range.To), today = monthDay(day);
  return from <= to ? (from <= today && today <= to) : (today >= from || today <= to);
}

std::optional<TInstant> resolveTime(const TTimeOfDay& time, TLocalDay day, const TSchedule& schedule, const TLocalZone& zone) {
  if (!time.Sun) return zone.At(day, time.Clock);
  const auto event = SunEventOn(day, *time.Sun, schedule.Location.value_or(TLocation{}), zone);
  if (!event) return std::nullopt;
  return *event + time.Offset;
}

}  // namespace

bool EntryRunsOn(const TScheduleEntry& entry, TLocalDay day) {
  if (!entry.Enabled) return false;
  const date::year_month_day date{day};
  const unsigned dayOfMonth = static_cast<unsigned>(date.day());
  switch (entry.Days.Rule) {
    case TDayRule::Odd:
      if (dayOfMonth % 2 == 0) return false;
      break;
    case TDayRule::Even:
      if (dayOfMonth % 2 != 0) return false;
      break;
    case TDayRule::Weekdays:
      if (!entry.Days.Weekdays.test(date::weekday{day}.c_encoding())) return false;
      break;
  }
  return !entry.Dates || inDateRange(*entry.Dates, date);
}

std::optional<TOccurrence> ResolveOccurrence(const TSchedule& schedule, std::size_t index, TLocalDay day, const TLocalZone& zone) {
  const TScheduleEntry& entry = schedule.Entries[index];
  if (!EntryRunsOn(entry, day)) return std::nullopt;
  const auto start = resolveTime(entry.Start, day, schedule, zone);
  if (!start) return std::nullopt;
  if (!entry.End) return TOccurrence{index, *start, *start};
  auto end = resolveTime(*entry.End, day, schedule, zone);
  if (end && *end <= *start) end = resolveTime(*entry.End, day + date::days{1}, schedule, zone);
  if (!end || *end <= *start) return std::nullopt;
  return TOccurrence{index, *start, *end};
}

std::vector<TInstant> StartsWithin(const TScheduleEntry& entry, const TOccurrence& run, TInstant from, TInstant to) {
  std::vector<TInstant> starts;
  if (entry.Repeat != TRepeat::Every) {
    if (from <= run.Start && run.Start < to) starts.push_back(run.Start);
    return starts;
  }
  const auto interval = std::chrono::duration_cast<std::chrono::seconds>(entry.Interval);
  TInstant start = run.Start;
  if (from > start) start += ((from - start + interval - std::chrono::seconds{1}) / interval) * interval;
  for (; start < run.End && start < to; start += interval) starts.push_back(start);
  return starts;
}

TInstant LastStartAt(const TScheduleEntry& entry, const TOccurrence& run, TInstant now) {
  if (entry.Repeat != TRepeat::Every || now <= run.Start) return run.Start;
  const auto interval = std::chrono::duration_cast<std::chrono::seconds>(entry.Interval);
  return run.Start + ((now - run.Start) / interval) * interval;
}

TOccurrencePlanner::TOccurrencePlanner(const TSchedule& schedule) : fSchedule(schedule), fZone(schedule.TimeZone) {}

const std::vector<TOccurrence>& TOccurrencePlanner::StartingOn(TLocalDay day) {
  const auto found = fDays.find(day);
  if (found != fDays.end()) return found->second;
  if (fDays.size() >= kMaxKeptDays) fDays.clear();
  std::vector<TOccurrence> runs;
  for (std::size_t i = 0; i < fSchedule.Entries.size(); ++i) {
    if (const auto run = ResolveOccurrence(fSchedule, i, day, fZone)) runs.push_back(*run);
  }
  std::sort(runs.begin(), runs.end(), [](const TOccurrence& a, const TOccurrence& b) { return a.Start < b.Start || (a.Start == b.Start && a.Entry < b.Entry); });
  return fDays.emplace(day, std::move(runs)).first->second;
}

std::vector<TOccurrence> TOccurrencePlanner::Overlapping(TInstant from, TInstant to) {
  std::vector<TOccurrence> runs;
  for (TLocalDay day = fZone.DayOf(from) - kDaysBefore; day <= fZone.DayOf(to) + date::days{1}; day += date::days{1}) {
    for (const TOccurrence& run : StartingOn(day)) {
      const bool command = fSchedule.Entries[run.Entry].IsCommand();
      const bool on = command ? (run.Start < to && (run.End > from || run.Start >= from)) : (run.Start < to && run.End > from);
      if (on) runs.push_back(run);
    }
  }
  std::stable_sort(runs.begin(), runs.end(), [](const TOccurrence& a, const TOccurrence& b) { return a.Start < b.Start; });
  return runs;
}

}  // namespace lumora::schedule
