#include "schedule/schedule_runner.h"

#include <filesystem>

#include "io/stream.h"
#include "schedule/calendar.h"
#include "schedule/schedule_commands.h"
#include "schedule/schedule_store.h"

namespace lumora::schedule {

namespace {

using control::TCommand;
using control::TCommandResult;
using nlohmann::json;

// The calendar is worked out on the engine's thread; a schedule that
// would take longer (a thousand entries repeated every minute take
// seconds) gives a calendar cut short rather than late frames.
constexpr std::chrono::milliseconds kCalendarWork{50};

bool sameStage(const TStageView& a, const TStageView& b) {
  return a.State == b.State && a.File == b.File && a.StartedBy == b.StartedBy && a.Protected == b.Protected;
}

// A fault of an entry is the "entries" argument's; one of the schedule's
// own fields is that field's.
TCommandResult scheduleFault(const TScheduleError& error) {
  return TCommandResult::Fail(error.Entry() ? "entries" : error.Field(), error.what());
}

}  // namespace

TInstant SystemNow() { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); }

TScheduleRunner::TScheduleRunner(control::TCommandBus& bus, control::TShowController& controller,
                                 control::TStatusBoard& board, TShowLengths& lengths, TScheduleRunnerOptions options)
    : fBus(bus), fController(controller), fBoard(board), fLengths(lengths), fOptions(std::move(options)),
      fControl(bus, controller) {
  fOptions.File = std::filesystem::absolute(fOptions.File).lexically_normal().string();
  std::error_code missing;
  const json document =
      std::filesystem::exists(fOptions.File, missing) ? LoadScheduleDocument(fOptions.File) : json::object();
  TSchedule schedule;
  try {
    schedule = read(document);
  } catch (const TScheduleError& error) {
    throw TLoadError(fOptions.File + ": " + error.what());
  }
  fStored = storedForm(document, schedule);
  fScheduler = std::make_unique<TScheduler>(std::move(schedule), fControl, fLengths);
  fController.SetProtectByDefault(Schedule().ProtectManual);
  registerCommands();
  publish(fOptions.Clock());
}

TScheduleRunner::~TScheduleRunner() = default;

void TScheduleRunner::registerCommands() {
  const auto bind = [this](const char* name, control::TCommandHandler handler) {
    fBus.Register(ScheduleCommandSpec(name), std::move(handler));
  };
  bind("schedule-get", [this](const TCommand&) { return TCommandResult::Ok(fStored); });
  bind("schedule-put", [this](const TCommand& c) { return put(c.Args); });
  bind("schedule-range", [this](const TCommand& c) { return range(c); });
  bind("schedule-next", [this](const TCommand&) { return byHand(fScheduler->StartNext(fOptions.Clock())); });
  bind("schedule-extend", [this](const TCommand& c) {
    const std::chrono::minutes minutes{control::IntegerOf(c.Args, "minutes", 0)};
    return byHand(fScheduler->Extend(fOptions.Clock(), minutes));
  });
  bind("schedule-enable", [this](const TCommand& c) { return changeEntry(c); });
  bind("schedule-delete", [this](const TCommand& c) { return changeEntry(c); });
}

void TScheduleRunner::Poll() {
  const TInstant now = fOptions.Clock();
  if (!fLastTick || *fLastTick != now || !sameStage(fControl.Stage(), fLastStage)) tick(now);
}

void TScheduleRunner::tick(TInstant now) {
  fScheduler->Tick(now);
  fLastTick = now;
  fLastStage = fControl.Stage();
  publish(now);
}

void TScheduleRunner::publish(TInstant now) {
  json status = fScheduler->Status(now);
  status["file"] = fOptions.File;
  if (status == fPublished) return;
  fPublished = status;
  fBoard.PublishSection("schedule", std::move(status));
}

// The configuration's place and zone stand in for those the schedule does
// not name; its commands must be the player's, with arguments they take.
TSchedule TScheduleRunner::read(const json& document) const {
  TSchedule schedule = ReadSchedule(document, {fOptions.Location, fOptions.TimeZone});
  checkCommands(schedule);
  return schedule;
}

void TScheduleRunner::checkCommands(const TSchedule& schedule) const {
  for (std::size_t i = 0; i < schedule.Entries.size(); ++i) {
    const TScheduleEntry& entry = schedule.Entries[i];
    if (!entry.IsCommand()) continue;
    if (IsScheduleCommand(entry.Command)) throw TScheduleError(i, "command", "the schedule does not run its own commands");
    if (entry.Command == "play") {
      throw TScheduleError(i, "command", "a show is played by an entry's \"play\", which the schedule follows");
    }
    const control::TCommandSpec* spec = fBus.Find(entry.Command);
    if (spec == nullptr) throw TScheduleError(i, "command", "\"" + entry.Command + "\" is no command of the player");
    const TCommandResult checked = control::ValidateArguments(*spec, entry.Args);
    if (!checked.Done) {
      throw TScheduleError(i, checked.Argument.empty() ? "args" : "args." + checked.Argument, checked.Error);
    }
  }
}

json TScheduleRunner::storedForm(const json& given, const TSchedule& schedule) const {
  json stored = WriteSchedule(schedule);
  for (const char* key : {"location", "timezone"}) {
    if (!given.is_object() || !given.contains(key)) stored.erase(key);
  }
  return stored;
}

// The file first: a schedule that cannot be kept is not taken.
void TScheduleRunner::take(TSchedule schedule, json stored) {
  SaveScheduleDocument(fOptions.File, stored);
  fStored = std::move(stored);
  fScheduler->SetSchedule(std::move(schedule));
  fController.SetProtectByDefault(Schedule().ProtectManual);
  tick(fOptions.Clock());
}

TCommandResult TScheduleRunner::put(const json& document) {
  TSchedule schedule;
  try {
    schedule = read(document);
  } catch (const TScheduleError& error) {
    return scheduleFault(error);
  }
  json stored = storedForm(document, schedule);
  take(std::move(schedule), std::move(stored));
  return TCommandResult::Ok(fStored);
}

TCommandResult TScheduleRunner::changeEntry(const TCommand& command) {
  json document = fStored;
  json& entries = document["entries"];
  const auto index = static_cast<std::size_t>(control::IntegerOf(command.Args, "entry", 0));
  if (index >= entries.size()) {
    return TCommandResult::Fail("entry", "the schedule has " + std::to_string(entries.size()) + " entries");
  }
  if (command.Name == "schedule-delete") {
    entries.erase(index);
  } else {
    entries[index]["enabled"] = control::BooleanOf(command.Args, "on", true);
  }
  return put(document);
}

TCommandResult TScheduleRunner::range(const TCommand& command) {
  const TInstant now = fOptions.Clock();
  const TLocalZone& zone = fScheduler->Zone();
  const auto days = date::days{control::IntegerOf(command.Args, "days", kDefaultCalendarDays)};
  const TInstant to = zone.At(zone.DayOf(now) + days, std::chrono::seconds{0});
  bool cut = false;
  const auto deadline = std::chrono::steady_clock::now() + kCalendarWork;
  const std::function<bool()> outOfTime = [&] { return cut = cut || fOptions.OutOfTime(deadline); };
  json calendar = CalendarJson(ScheduleCalendar(Schedule(), fLengths, now, to, outOfTime), Schedule(), now, to);
  if (cut) calendar["complete"] = false;
  return TCommandResult::Ok(std::move(calendar));
}

// Starting the next item and extending tick the scheduler themselves.
TCommandResult TScheduleRunner::byHand(const std::string& refusal) {
  fLastStage = fControl.Stage();
  publish(fOptions.Clock());
  if (!refusal.empty()) return TCommandResult::Fail("", refusal);
  return TCommandResult::Ok(fPublished);
}

}  // namespace lumora::schedule
