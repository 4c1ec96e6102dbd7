#include "schedule/calendar.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace lumora::schedule {

namespace {

using std::chrono::seconds;

// Longer entries are taken as this long, so that no sum overflows.
constexpr double kMaxEntrySeconds = 1e7;

// The player as the calendar sees it: the show plays from an entry of its
// list, entry after entry for their lengths, for a number of passes.
class TModelStage final : public TShowControl {
 public:
  explicit TModelStage(TShowLengths& lengths) : fLengths(lengths) {}

  void AdvanceTo(TInstant now) {
    fNow = now;
    if (fEnd && now >= *fEnd) Clear();
  }
  // When the show ends by itself or stops as asked; none while it plays on.
  std::optional<TInstant> NextEvent() const { return fEnd; }

  TStageView Stage() const override {
    if (fFile.empty()) return {};
    return {fStopping ? TStageState::Stopping : TStageState::Playing, fFile, TStartedBy::Schedule, std::nullopt};
  }
  std::string Play(const TPlayRequest& request) override;
  void Stop(TStopWhen when) override;
  std::string RunCommand(const std::string&, const nlohmann::json&) override { return {}; }

 private:
  void Clear() {
    fFile.clear();
    fEnd.reset();
    fStopping = false;
  }
  // Seconds from the top of the first pass to the end of the entry or the
  // pass under way at `fNow`.
  double boundaryAfterNow(bool wholePass) const;

  TShowLengths& fLengths;
  TInstant fNow;
  std::string fFile;
  std::vector<double> fEntries;
  double fPass = 0;
  // Where the show started: that moment stands for this many seconds into
  // its first pass.
  TInstant fStarted;
  double fOffset = 0;
  std::optional<TInstant> fEnd;
  bool fStopping = false;
};

TInstant afterSeconds(TInstant start, double secondsOn) {
  return start + seconds{static_cast<long long>(std::ceil(secondsOn))};
}

std::string TModelStage::Play(const TPlayRequest& request) {
  Clear();
  fFile = request.File;
  fEntries = fLengths.EntrySeconds(request.File);
  for (double& length : fEntries) length = length > 0 ? std::min(length, kMaxEntrySeconds) : 0;
  fPass = std::accumulate(fEntries.begin(), fEntries.end(), 0.0);
  if (!(fPass > 0)) fEntries.clear();
  const int first = std::clamp(request.Entry, 1, std::max<int>(1, static_cast<int>(fEntries.size())));
  fOffset = std::accumulate(fEntries.begin(), fEntries.begin() + std::min<std::size_t>(first - 1, fEntries.size()), 0.0);
  fStarted = fNow;
  if (!fEntries.empty() && request.Loops > 0) fEnd = afterSeconds(fStarted, fPass * request.Loops - fOffset);
  return {};
}

double TModelStage::boundaryAfterNow(bool wholePass) const {
  const double at = fOffset + static_cast<double>((fNow - fStarted).count());
  const double passStart = std::floor(at / fPass) * fPass;
  if (wholePass) return passStart + fPass;
  double boundary = passStart;
  for (const double length : fEntries) {
    boundary += length;
    if (boundary > at) return boundary;
  }
  return passStart + fPass;
}

void TModelStage::Stop(TStopWhen when) {
  if (fFile.empty()) return;
  if (when == TStopWhen::Now || fEntries.empty()) {
    Clear();
    return;
  }
  const TInstant end = afterSeconds(fStarted, boundaryAfterNow(when == TStopWhen::Pass) - fOffset);
  fEnd = fEnd ? std::min(*fEnd, end) : end;
  fStopping = true;
  if (*fEnd <= fNow) Clear();
}

}  // namespace

std::vector<TScheduledStart> ScheduleCalendar(const TSchedule& schedule, TShowLengths& lengths, TInstant from, TInstant to,
                                              const std::function<bool()>& outOfTime) {
  to = std::min(to, from + date::days{kMaxCalendarDays});
  TModelStage stage(lengths);
  TScheduler scheduler(schedule, stage, lengths);
  std::vector<TScheduledStart> starts;
  scheduler.SetStartObserver([&](const TScheduledStart& start) {
    if (starts.size() < kMaxCalendarStarts) starts.push_back(start);
  });
  for (TInstant now = from; now < to && starts.size() < kMaxCalendarStarts && !(outOfTime && outOfTime());) {
    stage.AdvanceTo(now);
    scheduler.Tick(now);
    TInstant next = scheduler.NextWakeUp(now);
    if (const auto event = stage.NextEvent()) next = std::min(next, *event);
    now = std::max(next, now + seconds{1});
  }
  return starts;
}

nlohmann::json CalendarJson(const std::vector<TScheduledStart>& starts, const TSchedule& schedule, TInstant from, TInstant to) {
  const TLocalZone zone(schedule.TimeZone);
  nlohmann::json items = nlohmann::json::array();
  for (const TScheduledStart& start : starts) {
    nlohmann::json item = {{"at", FormatLocal(start.At, zone)}, {"entry", start.Entry}, {"start", FormatLocal(start.Start, zone)}};
    if (start.Command.empty()) {
      item["play"] = start.Play.File;
      item["list-entry"] = start.Play.Entry;
      item["end"] = FormatLocal(start.End, zone);
    } else {
      item["command"] = start.Command;
      item["args"] = start.Args;
    }
    if (start.Entry < schedule.Entries.size() && !schedule.Entries[start.Entry].Name.empty()) item["name"] = schedule.Entries[start.Entry].Name;
    items.push_back(std::move(item));
  }
  return {{"from", FormatLocal(from, zone)},
          {"to", FormatLocal(to, zone)},
          {"timezone", zone.Name()},
          {"complete", starts.size() < kMaxCalendarStarts},
          {"items", std::move(items)}};
}

}  // namespace lumora::schedule
