// The scheduler's answers to its callers: when to tick next, the commands
// given by hand (start the next item now, move the end), the status, and a
// new schedule.
#include "schedule/scheduler.h"

namespace lumora::schedule {

namespace {

using nlohmann::json;
using std::chrono::seconds;

constexpr seconds kSecond{1};
constexpr std::chrono::hours kWakeUpHorizon{24};
constexpr int kLookAheadDays = 31;

// The first start of the run after `now` and before `limit`.
std::optional<TInstant> firstStartAfter(const TScheduleEntry& entry, const TOccurrence& run, TInstant now, TInstant limit) {
  if (run.Start > now) return run.Start < limit ? std::optional<TInstant>(run.Start) : std::nullopt;
  const auto starts = StartsWithin(entry, run, now + kSecond, limit);
  return starts.empty() ? std::nullopt : std::optional<TInstant>(starts.front());
}

}  // namespace

TInstant TScheduler::NextWakeUp(TInstant now) {
  TInstant best = now + kWakeUpHorizon;
  const auto consider = [&](TInstant moment) {
    if (moment > now && moment < best) best = moment;
  };
  std::vector<TOccurrence> runs = fPlanner->Overlapping(now, best);
  for (const auto& [key, moved] : fOverrides) runs.push_back(moved.Run);
  for (const TOccurrence& planned : runs) {
    const TOccurrence run = effective(planned);
    const TScheduleEntry& entry = fSchedule.Entries[run.Entry];
    if (const auto start = firstStartAfter(entry, run, now, best)) consider(*start);
    if (!entry.IsCommand()) consider(run.End);
  }
  return best;
}

// The next start of a show or a command after `now`, looking a month on.
std::optional<std::pair<TOccurrence, TInstant>> TScheduler::nextStartAfter(TInstant now) {
  std::optional<std::pair<TOccurrence, TInstant>> best;
  const auto consider = [&](const TOccurrence& planned) {
    const TScheduleEntry& entry = fSchedule.Entries[planned.Entry];
    const TOccurrence run = effective(planned);
    const TInstant limit = best ? best->second : TInstant::max();
    const auto start = firstStartAfter(entry, run, now, limit);
    if (start && !fRunEarly.contains({{planned.Entry, planned.Start}, *start})) best = {planned, *start};
  };
  for (const TOccurrence& run : fPlanner->Overlapping(now, now + kSecond)) consider(run);
  const TLocalDay today = Zone().DayOf(now);
  for (int day = 0; day < kLookAheadDays; ++day) {
    // A run of a later day may start before one of the day before (a sun
    // time moved by hours), so one more day is looked at.
    if (best && Zone().DayOf(best->second) + date::days{1} < today + date::days{day}) break;
    for (const TOccurrence& run : fPlanner->StartingOn(today + date::days{day})) consider(run);
  }
  return best;
}

std::string TScheduler::StartNext(TInstant now) {
  const auto next = nextStartAfter(now);
  if (!next) return "nothing is scheduled in the next " + std::to_string(kLookAheadDays) + " days";
  const auto& [run, due] = *next;
  const TRunKey key{run.Entry, run.Start};
  if (fSchedule.Entries[run.Entry].IsCommand()) {
    fRunEarly[{key, due}] = run.End;
    runCommand(run, due, now);
    return fLastCommand.value("error", "");
  }
  // The run's starts move by as much as its next one comes early; its end
  // stays.
  const TOccurrence on = effective(run);
  fOverrides[key] = TOverride{run, on.Start - (due - now), on.End};
  fForced = key;
  Tick(now);
  if (fOnStage && fOnStage->Run.Key == key) return {};
  return fWarnings.empty() ? "the next entry could not start" : fWarnings.back().value("message", "");
}

std::string TScheduler::Extend(TInstant now, std::chrono::minutes minutes) {
  if (!fOnStage) return "no entry of the schedule is playing";
  const TRunKey key = fOnStage->Run.Key;
  const TOccurrence on = fOnStage->Run.Run;
  auto [item, added] = fOverrides.try_emplace(key, TOverride{TOccurrence{key.first, key.second, on.End}, on.Start, on.End});
  item->second.End = std::max(now, item->second.End + minutes);
  Tick(now);
  return {};
}

json TScheduler::describe(const TOccurrence& run) const {
  const TScheduleEntry& entry = fSchedule.Entries[run.Entry];
  json out = {{"entry", run.Entry}, {"start", FormatLocal(run.Start, Zone())}, {"priority", entry.Priority}};
  if (entry.IsCommand()) {
    out["command"] = entry.Command;
  } else {
    out["play"] = entry.Play;
    out["end"] = FormatLocal(run.End, Zone());
  }
  if (!entry.Name.empty()) out["name"] = entry.Name;
  return out;
}

json TScheduler::Status(TInstant now) {
  json status = {{"timezone", Zone().Name()}, {"entries", fSchedule.Entries.size()}};
  std::string state = "idle";
  if (fOnStage) {
    state = fOnStage->Stopping ? "stopping" : "playing";
    status["now"] = describe(fOnStage->Run.Run);
    status["now"]["reason"] = fOnStage->Reason;
  } else if (fManual) {
    state = fHeldBack ? "held-back" : "by-hand";
  } else if (fTarget) {
    state = "waiting";
  }
  status["state"] = state;
  if (fHeldBack) status["held-back"] = describe(fHeldBack->Run);
  if (const auto next = nextStartAfter(now)) {
    status["next"] = describe(effective(next->first));
    status["next"]["start"] = FormatLocal(next->second, Zone());
  }
  if (!fLastCommand.is_null()) status["last-command"] = fLastCommand;
  status["warnings"] = json::array();
  for (const json& warning : fWarnings) status["warnings"].push_back(warning);
  return status;
}

// Carries what was ended or moved by hand over to the entries of the new
// schedule that are the same as before; what plays for an entry that
// changed is left to the new schedule to take over or replace.
void TScheduler::remapTo(const TSchedule& next) {
  std::map<std::size_t, std::size_t> sameEntry;
  std::vector<bool> taken(next.Entries.size());
  for (std::size_t i = 0; i < fSchedule.Entries.size(); ++i) {
    for (std::size_t j = 0; j < next.Entries.size(); ++j) {
      if (taken[j] || !(fSchedule.Entries[i] == next.Entries[j])) continue;
      sameEntry[i] = j;
      taken[j] = true;
      break;
    }
  }
  const auto remapKeys = [&](auto& map, auto keyOf) {
    std::remove_reference_t<decltype(map)> kept;
    for (const auto& item : map) {
      auto key = item.first;
      TRunKey& run = keyOf(key);
      if (!sameEntry.contains(run.first)) continue;
      run.first = sameEntry[run.first];
      kept.emplace(key, item.second);
    }
    map = std::move(kept);
  };
  remapKeys(fEnded, [](auto& key) -> TRunKey& { return key.first; });
  remapKeys(fRunEarly, [](auto& key) -> TRunKey& { return key.first; });
  for (auto& [key, moved] : fOverrides) moved.Run.Entry = sameEntry.contains(key.first) ? sameEntry[key.first] : moved.Run.Entry;
  remapKeys(fOverrides, [](auto& key) -> TRunKey& { return key; });
  if (fForced) fForced = sameEntry.contains(fForced->first) ? std::optional<TRunKey>(TRunKey{sameEntry[fForced->first], fForced->second}) : std::nullopt;
  if (fOnStage && sameEntry.contains(fOnStage->Run.Key.first)) {
    const std::size_t entry = sameEntry[fOnStage->Run.Key.first];
    fOnStage->Run.Key.first = entry;
    fOnStage->Run.Run.Entry = entry;
  } else if (fOnStage && !fOnStage->Stopping) {
    fOnStage.reset();
  }
  fManual.reset();
  fTarget.reset();
}

void TScheduler::SetSchedule(TSchedule schedule) {
  remapTo(schedule);
  fPlanner.reset();
  fSchedule = std::move(schedule);
  fPlanner = std::make_unique<TOccurrencePlanner>(fSchedule);
}

}  // namespace lumora::schedule
