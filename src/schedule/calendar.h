// The calendar: the starts the scheduler will make over the coming days,
// found by running it against a model of the player, so that the calendar
// and what the scheduler does can never disagree.
#pragma once

#include <functional>
#include <vector>

#include "schedule/scheduler.h"

namespace lumora::schedule {

inline constexpr int kMaxCalendarDays = 400;
// A schedule of many entries repeated every minute could start millions of
// times in a fortnight; the calendar stops at this many.
inline constexpr std::size_t kMaxCalendarStarts = 20000;

// The starts from `from` to before `to` (at most kMaxCalendarDays on, and
// the first kMaxCalendarStarts), from an idle stage at `from`: a show plays
// its list's entries for their lengths (for ever when unknown) and stops
// as asked. When `outOfTime` answers true it stops with what it found.
std::vector<TScheduledStart> ScheduleCalendar(const TSchedule& schedule, TShowLengths& lengths, TInstant from, TInstant to,
                                              const std::function<bool()>& outOfTime = {});

// {"from", "to", "timezone", "complete" (false when cut at
// kMaxCalendarStarts), "items": [{"at", "entry", "start", "end", "play",
// "list-entry"} or {"at", "entry", "start", "command", "args"}]}: what
// GET /api/schedule/range answers.
nlohmann::json CalendarJson(const std::vector<TScheduledStart>& starts, const TSchedule& schedule, TInstant from, TInstant to);

}  // namespace lumora::schedule
