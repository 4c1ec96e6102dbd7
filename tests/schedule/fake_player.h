// A player for the scheduler's tests: it plays a list entry by entry for
// the lengths it is given, stops now or at the end of an entry or a pass,
// can be driven by hand, and logs every call the scheduler makes.
#pragma once

#include <cmath>
#include <map>
#include <optional>
#include <cstdio>
#include <string>
#include <vector>

#include "schedule/local_zone.h"
#include "schedule/show_control.h"

namespace lumora::schedule::test {

// "2024-03-31 02:30:00" in the zone, as TLocalZone::At places it.
inline TInstant At(const std::string& zone, const std::string& local) {
  int year = 0;
  unsigned month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
  std::sscanf(local.c_str(), "%d-%u-%u %u:%u:%u", &year, &month, &day, &hours, &minutes, &seconds);
  const TLocalDay date{date::year{year} / date::month{month} / date::day{day}};
  return TLocalZone(zone).At(date, std::chrono::seconds{hours * 3600 + minutes * 60 + seconds});
}

// "2024-03-31T01:30:00Z".
inline TInstant Utc(const std::string& text) {
  int year = 0;
  unsigned month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
  std::sscanf(text.c_str(), "%d-%u-%uT%u:%u:%uZ", &year, &month, &day, &hours, &minutes, &seconds);
  const date::sys_days date{date::year{year} / date::month{month} / date::day{day}};
  return TInstant{date} + std::chrono::seconds{hours * 3600 + minutes * 60 + seconds};
}

class TFakePlayer final : public TShowControl, public TShowLengths {
 public:
  std::map<std::string, std::vector<double>> Lengths;
  std::vector<std::string> Log;
  // Faults Play answers, by file.
  std::map<std::string, std::string> PlayFaults;

  // Moves the playing show on to `now`: entry after entry, pass after pass.
  void AdvanceTo(TInstant now) {
    fNow = now;
    while (fPlaying && fEntryEnd && *fEntryEnd <= now) nextEntry();
  }
  // When the entry playing ends; none for a show of unknown length.
  std::optional<TInstant> NextEvent() const { return fPlaying ? fEntryEnd : std::nullopt; }
  int EntryPlaying() const { return fEntry + 1; }

  void StartByHand(const std::string& file, std::optional<bool> keep) {
    begin(file, 1, 0);
    fView.StartedBy = TStartedBy::Hand;
    fView.Protected = keep;
  }
  void StopByHand() { end(); }

  TStageView Stage() const override { return fView; }
  std::string Play(const TPlayRequest& request) override {
    Log.push_back("play " + request.File + " " + std::to_string(request.Entry) + " " + std::to_string(request.Loops));
    if (PlayFaults.contains(request.File)) return PlayFaults[request.File];
    begin(request.File, request.Entry, request.Loops);
    return {};
  }
  void Stop(TStopWhen when) override {
    Log.push_back(std::string("stop ") + (when == TStopWhen::Now ? "now" : when == TStopWhen::Entry ? "entry" : "pass"));
    if (!fPlaying) return;
    const auto& lengths = Lengths[fView.File];
    if (when == TStopWhen::Now || lengths.empty()) return end();
    fView.State = TStageState::Stopping;
    fStopAfter = when == TStopWhen::Entry ? fEntry : static_cast<int>(lengths.size()) - 1;
    fPassesLeft = 1;
  }
  std::string RunCommand(const std::string& name, const nlohmann::json& args) override {
    Log.push_back("command " + name + " " + args.dump());
    return {};
  }
  std::vector<double> EntrySeconds(const std::string& file) override {
    const auto found = Lengths.find(file);
    return found == Lengths.end() ? std::vector<double>{} : found->second;
  }

 private:
  void begin(const std::string& file, int entry, int loops) {
    fView = {TStageState::Playing, file, TStartedBy::Schedule, std::nullopt};
    fPlaying = true;
    fEntry = entry - 1;
    fPassesLeft = loops;
    fStopAfter.reset();
    const auto& lengths = Lengths[file];
    fEntryEnd = lengths.empty() ? std::nullopt : std::optional<TInstant>(fNow + std::chrono::seconds{static_cast<long long>(std::ceil(lengths[fEntry]))});
  }
  void end() {
    fView = {};
    fPlaying = false;
    fEntryEnd.reset();
  }
  void nextEntry() {
    const auto& lengths = Lengths[fView.File];
    const bool lastOfPass = fEntry + 1 == static_cast<int>(lengths.size());
    if (fStopAfter && *fStopAfter == fEntry) return end();
    if (lastOfPass && fPassesLeft == 1) return end();
    if (lastOfPass && fPassesLeft > 1) --fPassesLeft;
    fEntry = lastOfPass ? 0 : fEntry + 1;
    fEntryEnd = *fEntryEnd + std::chrono::seconds{static_cast<long long>(std::ceil(lengths[fEntry]))};
  }

  TInstant fNow;
  TStageView fView;
  bool fPlaying = false;
  int fEntry = 0;
  int fPassesLeft = 0;
  std::optional<int> fStopAfter;
  std::optional<TInstant> fEntryEnd;
};

}  // namespace lumora::schedule::test
