// What the scheduler needs of the player, and nothing more: what is on the
// stage and who put it there, starting a show with play arguments,
// stopping it a given way, running a command, and the lengths of a list's
// entries. The command bus implements these; the tests fake them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumora::schedule {

enum class TStageState { Idle, Playing, Paused, Stopping };
enum class TStartedBy { Nobody, Schedule, Hand };

// What plays now and who started it.
struct TStageView {
  TStageState State = TStageState::Idle;
  // The show or list as the schedule names it (a name in the show folder).
  std::string File;
  TStartedBy StartedBy = TStartedBy::Nobody;
  // For a show started by hand: whether it keeps the stage until it ends
  // (the play command's choice); unset for the schedule's default.
  std::optional<bool> Protected;

  bool Occupied() const { return State != TStageState::Idle; }
};

// The play command's arguments: {"file", "entry" (1-based), "loops"}, with
// 0 loops for ever. The first pass starts at Entry.
struct TPlayRequest {
  std::string File;
  int Entry = 1;
  int Loops = 0;

  bool operator==(const TPlayRequest&) const = default;
};

// The stop command's "when": "now", "entry" (the end of the list's entry)
// or "pass" (the end of the list's pass).
enum class TStopWhen { Now, Entry, Pass };

class TShowControl {
 public:
  virtual ~TShowControl() = default;
  virtual TStageView Stage() const = 0;
  // Plays the show for the schedule, in place of whatever plays; answers
  // an empty text when done, else the fault.
  virtual std::string Play(const TPlayRequest& request) = 0;
  virtual void Stop(TStopWhen when) = 0;
  // Runs a command of the bus; an empty text when done, else the fault.
  virtual std::string RunCommand(const std::string& name, const nlohmann::json& args) = 0;
};

class TShowLengths {
 public:
  virtual ~TShowLengths() = default;
  // Seconds each entry of a list plays once (one entry for a single show),
  // in order; empty when unknown.
  virtual std::vector<double> EntrySeconds(const std::string& file) = 0;
};

}  // namespace lumora::schedule
