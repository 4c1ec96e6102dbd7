// The runs of a schedule's entries: each day an entry may start on gives one
// run from its start to its end, resolved in the local zone and by the sun.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <vector>

#include "schedule/schedule.h"

namespace lumora::schedule {

// One run of an entry. A run that ends before it starts ends the next day;
// a command run once ends where it starts.
struct TOccurrence {
  std::size_t Entry = 0;
  TInstant Start;
  TInstant End;

  bool operator==(const TOccurrence&) const = default;
  auto operator<=>(const TOccurrence&) const = default;
};

// Whether the entry is enabled and may start on that local day (its days
// and its date range, which holds for its start).
bool EntryRunsOn(const TScheduleEntry& entry, TLocalDay day);

// The entry's run starting on that day; none when it does not run then or
// the sun does not reach a time it names.
std::optional<TOccurrence> ResolveOccurrence(const TSchedule& schedule, std::size_t entry, TLocalDay day, const TLocalZone& zone);

// The moments a run starts the entry's show or command: its start, and for
// an entry repeated every N minutes each N minutes after while before its
// end, those in [from, to).
std::vector<TInstant> StartsWithin(const TScheduleEntry& entry, const TOccurrence& run, TInstant from, TInstant to);
// The last of those starts at or before `now` (the run's start when none).
TInstant LastStartAt(const TScheduleEntry& entry, const TOccurrence& run, TInstant now);

// The runs of a schedule, resolved a day at a time and kept for the days
// asked for lately. The schedule must outlive the planner.
class TOccurrencePlanner {
 public:
  explicit TOccurrencePlanner(const TSchedule& schedule);

  const TSchedule& Schedule() const { return fSchedule; }
  const TLocalZone& Zone() const { return fZone; }
  // Runs that start on that local day, by start; valid until the next call.
  const std::vector<TOccurrence>& StartingOn(TLocalDay day);
  // Runs of shows that are on at some moment of [from, to), and runs of
  // commands that start in it; by start.
  std::vector<TOccurrence> Overlapping(TInstant from, TInstant to);

 private:
  const TSchedule& fSchedule;
  TLocalZone fZone;
  std::map<TLocalDay, std::vector<TOccurrence>> fDays;
};

}  // namespace lumora::schedule
