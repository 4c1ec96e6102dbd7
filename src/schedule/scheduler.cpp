#include "schedule/scheduler.h"

#include <algorithm>
#include <cmath>

namespace lumora::schedule {

namespace {

using nlohmann::json;
using std::chrono::seconds;

// A command whose time passed while nothing ticked still runs this late.
constexpr seconds kCatchUp{60};
constexpr seconds kSecond{1};
// What ended or was moved by hand is kept this long after its end.
constexpr std::chrono::hours kKeepHistory{48};
constexpr std::size_t kMaxWarnings = 10;

TStopWhen stopWhen(TStopKind kind) {
  switch (kind) {
    case TStopKind::Now:
      return TStopWhen::Now;
    case TStopKind::Pass:
      return TStopWhen::Pass;
    case TStopKind::Entry:
      break;
  }
  return TStopWhen::Entry;
}

template <typename TMap>
void eraseEndedBefore(TMap& map, TInstant limit) {
  std::erase_if(map, [&](const auto& item) { return item.second < limit; });
}

}  // namespace

TListPosition PositionInList(const std::vector<double>& entrySeconds, seconds elapsed, bool loop) {
  double pass = 0;
  for (const double length : entrySeconds) pass += length > 0 ? length : 0;
  if (!(pass > 0) || !std::isfinite(pass)) return {};
  double at = std::max<double>(0, static_cast<double>(elapsed.count()));
  if (!loop && at >= pass) return {1, true};
  at = std::fmod(at, pass);
  for (std::size_t i = 0; i < entrySeconds.size(); ++i) {
    const double length = entrySeconds[i] > 0 ? entrySeconds[i] : 0;
    if (at < length) return {static_cast<int>(i + 1), false};
    at -= length;
  }
  return {static_cast<int>(entrySeconds.size()), false};
}

TScheduler::TScheduler(TSchedule schedule, TShowControl& control, TShowLengths& lengths)
    : fSchedule(std::move(schedule)), fControl(control), fLengths(lengths), fPlanner(std::make_unique<TOccurrencePlanner>(fSchedule)) {}

TScheduler::~TScheduler() = default;

const TLocalZone& TScheduler::Zone() const { return fPlanner->Zone(); }

TOccurrence TScheduler::effective(const TOccurrence& run) const {
  const auto found = fOverrides.find({run.Entry, run.Start});
  if (found == fOverrides.end()) return run;
  return {run.Entry, found->second.Start, found->second.End};
}

std::vector<TScheduler::TCandidate> TScheduler::candidatesAt(TInstant now) {
  std::map<TRunKey, TOccurrence> runs;
  for (const TOccurrence& run : fPlanner->Overlapping(now, now + kSecond)) runs.emplace(TRunKey{run.Entry, run.Start}, run);
  for (const auto& [key, moved] : fOverrides) runs.emplace(key, moved.Run);
  std::vector<TCandidate> candidates;
  for (const auto& [key, run] : runs) {
    const TScheduleEntry& entry = fSchedule.Entries[run.Entry];
    const TOccurrence on = effective(run);
    if (entry.IsCommand() || !(on.Start <= now && now < on.End)) continue;
    const TInstant slot = LastStartAt(entry, on, now);
    if (fEnded.contains({key, slot})) continue;
    candidates.push_back({key, on, slot, fForced == key});
  }
  return candidates;
}

// The run that should hold the stage: one started early by hand, else the
// highest priority, else the earliest start.
std::optional<TScheduler::TCandidate> TScheduler::winnerAt(TInstant now) {
  std::optional<TCandidate> best;
  for (const TCandidate& candidate : candidatesAt(now)) {
    const auto rank = [&](const TCandidate& c) {
      return std::make_tuple(c.Forced, fSchedule.Entries[c.Run.Entry].Priority, -c.Run.Start.time_since_epoch().count(),
                             -static_cast<long long>(c.Run.Entry));
    };
    if (!best || rank(candidate) > rank(*best)) best = candidate;
  }
  return best;
}

void TScheduler::Tick(TInstant now) {
  forgetOld(now);
  runCommandsDue(now);
  reconcile(fControl.Stage(), now);
  decide(now);
  fLastTick = now;
}

void TScheduler::forgetOld(TInstant now) {
  const TInstant limit = now - kKeepHistory;
  eraseEndedBefore(fEnded, limit);
  eraseEndedBefore(fRunEarly, limit);
  std::erase_if(fOverrides, [&](const auto& item) { return item.second.End < limit; });
  if (fForced && !fOverrides.contains(*fForced)) fForced.reset();
}

void TScheduler::runCommandsDue(TInstant now) {
  TInstant from = now - kCatchUp;
  if (fLastTick && *fLastTick + kSecond > from) from = *fLastTick + kSecond;
  if (from > now) return;
  for (const TOccurrence& run : fPlanner->Overlapping(from, now + kSecond)) {
    const TScheduleEntry& entry = fSchedule.Entries[run.Entry];
    if (!entry.IsCommand()) continue;
    for (const TInstant due : StartsWithin(entry, run, from, now + kSecond)) {
      if (fRunEarly.erase({{run.Entry, run.Start}, due}) == 0) runCommand(run, due, now);
    }
  }
}

void TScheduler::runCommand(const TOccurrence& run, TInstant due, TInstant now) {
  const TScheduleEntry& entry = fSchedule.Entries[run.Entry];
  const std::string fault = fControl.RunCommand(entry.Command, entry.Args);
  fLastCommand = {{"entry", run.Entry}, {"command", entry.Command}, {"at", FormatLocal(now, Zone())}};
  if (!fault.empty()) {
    fLastCommand["error"] = fault;
    warn(now, "entries[" + std::to_string(run.Entry) + "]: the command \"" + entry.Command + "\" failed: " + fault);
  }
  if (!fObserver) return;
  TScheduledStart start;
  start.At = now;
  start.Entry = run.Entry;
  start.Start = due;
  start.End = run.End;
  start.Command = entry.Command;
  start.Args = entry.Args;
  fObserver(start);
}

// Learns from the stage what became of the run the scheduler started, and
// whether a show started by hand holds the stage.
void TScheduler::reconcile(const TStageView& view, TInstant now) {
  if (fOnStage && !view.Occupied()) {
    // It ended by itself or was stopped by hand: what comes next follows,
    // never the same run again. A stop the scheduler asked for is no end.
    if (!fOnStage->Stopping) markEnded(fOnStage->Run);
    fOnStage.reset();
  } else if (fOnStage && (view.StartedBy != fOnStage->StartedBy || view.File != fSchedule.Entries[fOnStage->Run.Run.Entry].Play)) {
    // Another show was started by hand in its place.
    fOnStage.reset();
  }
  if (!view.Occupied() || fOnStage) {
    fManual.reset();
    return;
  }
  const bool byHand = view.StartedBy == TStartedBy::Hand;
  if (!fManual || fManual->File != view.File) {
    fManual = TManual{};
    fManual->File = view.File;
    // A show the schedule started before it was told of (a new schedule,
    // a new scheduler) gives way at once; one started by hand at the next
    // change of what the schedule wants.
    if (const auto winner = winnerAt(now); winner && byHand) fManual->Baseline = winner->Key;
  }
  fManual->Protected = byHand && view.Protected.value_or(fSchedule.ProtectManual);
}

void TScheduler::decide(TInstant now) {
  fHeldBack.reset();
  // Every start that fails ends its run, so this ends.
  for (std::size_t attempt = 0; attempt < fSchedule.Entries.size() + 2; ++attempt) {
    const auto winner = winnerAt(now);
    if (fManual && decideWithManualShow(fControl.Stage(), winner)) return;
    if (fOnStage && !leaveStage(winner, now)) return;
    if (!winner) {
      fTarget.reset();
      return;
    }
    if (start(*winner, now)) return;
  }
}

// Answers whether the show started by hand keeps the stage.
bool TScheduler::decideWithManualShow(const TStageView& view, const std::optional<TCandidate>& winner) {
  if (!winner) {
    // A show the schedule started for an entry it no longer has (removed,
    // disabled or moved) would otherwise play for ever: it ends as
    // entries end unless they say otherwise.
    if (view.StartedBy == TStartedBy::Schedule && view.State != TStageState::Stopping) fControl.Stop(TStopWhen::Entry);
    return true;
  }
  if (fSchedule.Entries[winner->Run.Entry].Play == view.File) {
    // The show the schedule wants already plays: it becomes the run, and
    // is not started again from its top.
    fOnStage = TOnStage{*winner, "taken over from a show started by hand", view.StartedBy};
    fManual.reset();
    fTarget.reset();
    return true;
  }
  if (!winner->Forced && fManual->Protected) {
    fHeldBack = winner;
    return true;
  }
  if (!winner->Forced && fManual->Baseline == winner->Key) return true;
  fManual.reset();
  return false;
}

// Answers whether the stage is free for a start now; else the run on it
// stays, or stops its own way and the start waits.
bool TScheduler::leaveStage(const std::optional<TCandidate>& winner, TInstant now) {
  TOnStage& on = *fOnStage;
  const bool sameRun = winner && winner->Key == on.Run.Key;
  if (sameRun && winner->Slot == on.Run.Slot) {
    on.Run.Run = winner->Run;
    return false;
  }
  if (winner && (!fTarget || fTarget->Key != winner->Key || fTarget->Slot != winner->Slot)) fTarget = TTarget{winner->Key, winner->Slot, now};
  if (!winner) fTarget.reset();
  if (on.Stopping) return false;
  // The next repetition of an entry starts its show again in its place.
  if (sameRun) return true;
  const TStopKind kind = winner && winner->Forced ? TStopKind::Now : fSchedule.Entries[on.Run.Run.Entry].Stop;
  fControl.Stop(stopWhen(kind));
  on.Stopping = true;
  if (fControl.Stage().Occupied()) return false;
  fOnStage.reset();
  return true;
}

// Starts the run where its list would stand had it played since its start
// (after a restart, or when a higher run gave way), from the top when it
// starts on time or was only kept waiting by a show stopping its own way.
bool TScheduler::start(const TCandidate& winner, TInstant now) {
  const TScheduleEntry& entry = fSchedule.Entries[winner.Run.Entry];
  const bool waited = fTarget && fTarget->Key == winner.Key && fTarget->Slot == winner.Slot;
  const TInstant reference = waited ? fTarget->DecidedAt : now;
  fTarget.reset();
  const bool loop = entry.Repeat == TRepeat::Loop;
  const TListPosition position = PositionInList(fLengths.EntrySeconds(entry.Play), std::max(seconds{0}, reference - winner.Slot), loop);
  if (position.Over) {
    markEnded(winner);
    return false;
  }
  const TPlayRequest request{entry.Play, position.Entry, loop ? 0 : 1};
  const std::string fault = fControl.Play(request);
  if (!fault.empty()) {
    warn(now, "entries[" + std::to_string(winner.Run.Entry) + "]: cannot play \"" + entry.Play + "\": " + fault);
    markEnded(winner);
    return false;
  }
  const std::string reason = winner.Forced ? "started early by hand" : reference > winner.Slot ? "started late, where its list would be" : "scheduled";
  fOnStage = TOnStage{winner, reason};
  if (fObserver) fObserver({now, winner.Run.Entry, winner.Slot, winner.Run.End, request, {}, json()});
  return true;
}

void TScheduler::markEnded(const TCandidate& run) {
  fEnded[{run.Key, run.Slot}] = run.Run.End;
  if (fForced == run.Key) fForced.reset();
}

void TScheduler::warn(TInstant now, std::string text) {
  fWarnings.push_back({{"at", FormatLocal(now, Zone())}, {"message", std::move(text)}});
  if (fWarnings.size() > kMaxWarnings) fWarnings.pop_front();
}

}  // namespace lumora::schedule
