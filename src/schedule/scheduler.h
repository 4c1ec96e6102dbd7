// The scheduler: a state machine that, given the time and what plays,
// starts and stops the schedule's shows and runs its commands through a
// TShowControl. It never reads a clock or sleeps: the caller ticks it.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "schedule/occurrences.h"
#include "schedule/show_control.h"

namespace lumora::schedule {

// A start the scheduler made, or in a calendar will make: a show (Play) or
// a command.
struct TScheduledStart {
  // When it started.
  TInstant At;
  std::size_t Entry = 0;
  // The start and end of the run it belongs to (for an entry repeated every
  // N minutes, Start is the repetition's), as moved by hand.
  TInstant Start;
  TInstant End;
  TPlayRequest Play;
  std::string Command;
  nlohmann::json Args;

  bool operator==(const TScheduledStart&) const = default;
};

// Where a list stands after `elapsed` of playing from its top: the entry to
// start (1-based), or Over when a single pass has ended by then. Unknown
// lengths give entry 1.
struct TListPosition {
  int Entry = 1;
  bool Over = false;
};
TListPosition PositionInList(const std::vector<double>& entrySeconds, std::chrono::seconds elapsed, bool loop);

class TScheduler {
 public:
  // `control` and `lengths` must outlive the scheduler.
  TScheduler(TSchedule schedule, TShowControl& control, TShowLengths& lengths);
  ~TScheduler();
  TScheduler(const TScheduler&) = delete;
  TScheduler& operator=(const TScheduler&) = delete;

  const TSchedule& Schedule() const { return fSchedule; }
  const TLocalZone& Zone() const;
  // Takes a new schedule; what was ended or moved by hand stays so for the
  // entries that did not change.
  void SetSchedule(TSchedule schedule);
  // Called with every start made.
  void SetStartObserver(std::function<void(const TScheduledStart&)> observer) { fObserver = std::move(observer); }

  // Looks at the stage and acts for `now`. Call it every second or so, at
  // NextWakeUp(), and whenever the stage changes.
  void Tick(TInstant now);
  // The next moment a start, an end or a command is due (at most a day on).
  TInstant NextWakeUp(TInstant now);

  // Starts the next scheduled item now (a show in place of what plays, or a
  // command); it keeps its end, and is not started again at its time.
  // Answers an empty text when done, else why not.
  std::string StartNext(TInstant now);
  // Moves the end of the scheduled run on the stage by `minutes` (less
  // than 0 ends it sooner, at the earliest now).
  std::string Extend(TInstant now, std::chrono::minutes minutes);

  // The schedule's section of the status: "state", what plays "now" and why,
  // what is "held-back" by a show started by hand, the "next" start, the
  // last command and recent warnings.
  nlohmann::json Status(TInstant now);

 private:
  using TRunKey = std::pair<std::size_t, TInstant>;
  struct TOverride {
    TOccurrence Run;
    TInstant Start;
    TInstant End;
  };
  struct TCandidate {
    TRunKey Key;
    TOccurrence Run;
    TInstant Slot;
    bool Forced = false;
  };
  struct TOnStage {
    TCandidate Run;
    std::string Reason;
    // A show started by hand that the run took over stays marked so.
    TStartedBy StartedBy = TStartedBy::Schedule;
    bool Stopping = false;
  };
  struct TManual {
    std::string File;
    std::optional<TRunKey> Baseline;
    bool Protected = false;
  };
  struct TTarget {
    TRunKey Key;
    TInstant Slot;
    TInstant DecidedAt;
  };

  TOccurrence effective(const TOccurrence& run) const;
  std::vector<TCandidate> candidatesAt(TInstant now);
  std::optional<TCandidate> winnerAt(TInstant now);
  void runCommandsDue(TInstant now);
  void reconcile(const TStageView& view, TInstant now);
  void decide(TInstant now);
  bool decideWithManualShow(const TStageView& view, const std::optional<TCandidate>& winner);
  bool leaveStage(const std::optional<TCandidate>& winner, TInstant now);
  bool start(const TCandidate& winner, TInstant now);
  void markEnded(const TCandidate& run);
  void warn(TInstant now, std::string text);
  void forgetOld(TInstant now);
  std::optional<std::pair<TOccurrence, TInstant>> nextStartAfter(TInstant now);
  nlohmann::json describe(const TOccurrence& run) const;
  void runCommand(const TOccurrence& run, TInstant due, TInstant now);
  void remapTo(const TSchedule& next);

  TSchedule fSchedule;
  TShowControl& fControl;
  TShowLengths& fLengths;
  std::unique_ptr<TOccurrencePlanner> fPlanner;
  std::function<void(const TScheduledStart&)> fObserver;

  std::optional<TOnStage> fOnStage;
  std::optional<TManual> fManual;
  std::optional<TTarget> fTarget;
  std::optional<TCandidate> fHeldBack;
  std::optional<TRunKey> fForced;
  std::map<TRunKey, TOverride> fOverrides;
  // Runs (and repetitions) that have had their turn, with when they end.
  std::map<std::pair<TRunKey, TInstant>, TInstant> fEnded;
  // Commands already run ahead of their time by StartNext.
  std::map<std::pair<TRunKey, TInstant>, TInstant> fRunEarly;
  std::optional<TInstant> fLastTick;
  nlohmann::json fLastCommand;
  std::deque<nlohmann::json> fWarnings;
};

}  // namespace lumora::schedule
