// The show's status as every reader sees it (the web page, the WebSocket,
// the window's display, the schedule): an immutable snapshot, built once
// per change and shared, never a live object read across threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumora::control {

// One light output as the sender last saw it.
struct TOutputStatus {
  std::string Name;
  double PacketsPerSecond = 0;
  bool Failed = false;
  std::string LastError;
  friend bool operator==(const TOutputStatus&, const TOutputStatus&) = default;
};

enum class TPlayState : std::uint8_t { Idle, Playing, Paused, Stopping };
const char* PlayStateName(TPlayState state);

struct TShowStatus {
  TPlayState State = TPlayState::Idle;
  // What was started (a movie or a list) and, in a list, the entry playing
  // (1-based) of how many and its file name.
  std::string File;
  std::int32_t Entry = 0;
  std::int32_t Entries = 0;
  std::string EntryName;
  // The frame shown (1-based) of the entry's frames.
  std::int32_t Frame = 0;
  std::int32_t Frames = 0;
  // Milliseconds a frame lasts.
  std::int32_t Interval = 0;
  double EntryElapsed = 0;
  double EntryRemaining = 0;
  // Of the list's pass; negative while some entry's length is not known.
  double PassElapsed = 0;
  double PassRemaining = -1;
  // The pass playing (1-based) of how many; 0 passes: for ever.
  std::int32_t Pass = 0;
  std::int32_t Passes = 0;
  // "entry" or "pass" while a stop waits for that end; empty otherwise.
  std::string StopAt;
  // Who started what plays: "window", "http", "schedule", …, and whether
  // the schedule is to leave it alone until it ends.
  std::string StartedBy;
  bool Protected = false;
  std::int32_t Volume = 100;
  bool Muted = false;
  std::int32_t Brightness = 100;
  bool Blackout = false;
  bool OutputOn = true;
  // The test pattern shown, with its settings; null when none.
  nlohmann::json Test;
  bool Lights = false;
  std::vector<TOutputStatus> Outputs;
  // The patch's fixtures for the show playing, by name.
  std::vector<std::string> Fixtures;
  std::vector<std::string> Warnings;
  friend bool operator==(const TShowStatus&, const TShowStatus&) = default;
};

// Something that happened, for the event stream and recent messages.
struct TEvent {
  std::uint64_t Sequence = 0;
  // "entry", "message" or "output".
  std::string Kind;
  std::string Text;
  std::chrono::system_clock::time_point Time;
};

struct TStatus {
  std::uint64_t Sequence = 0;
  TShowStatus Show;
  // What other parts add under their own key ("schedule", "sync").
  std::map<std::string, std::shared_ptr<const nlohmann::json>> Sections;
  // The latest messages, oldest first.
  std::vector<TEvent> Messages;
};

// What does not change while the program runs.
struct TStatusIdentity {
  std::string Version;
  std::string Host;
  std::chrono::steady_clock::time_point Started = std::chrono::steady_clock::now();
};

nlohmann::json ShowStatusJson(const TShowStatus& show);
nlohmann::json EventJson(const TEvent& event);

class TStatusBoard {
 public:
  explicit TStatusBoard(TStatusIdentity identity);

  // Any thread. A show status equal to the one published makes no new
  // snapshot.
  void PublishShow(const TShowStatus& show);
  void PublishSection(const std::string& key, nlohmann::json value);
  // An event; messages and output reports are kept among the latest.
  void Tell(const std::string& kind, const std::string& text);

  std::shared_ptr<const TStatus> Current() const;
  // The snapshot as the API gives it, with the uptime as of now.
  nlohmann::json Json() const;
  nlohmann::json Json(const TStatus& status) const;
  // The snapshot as JSON text, made once for every reader of it (and again
  // when the uptime has moved on a second).
  std::shared_ptr<const std::string> JsonText() const;
  // Events after the one numbered seen, oldest first; of the latest kept.
  std::vector<TEvent> EventsAfter(std::uint64_t seen) const;
  std::uint64_t LastEvent() const;

  // Waits until a snapshot after seenStatus or an event after seenEvent is
  // there, Wake is called, or the wait ends; true when something is new.
  bool WaitForNews(std::uint64_t seenStatus, std::uint64_t seenEvent, std::chrono::milliseconds wait) const;
  // Ends every wait at once, e.g. when readers close.
  void Wake();

 private:
  void publish(const std::function<void(TStatus&)>& change);
  std::int64_t uptime() const;

  TStatusIdentity fIdentity;
  mutable std::mutex fLock;
  mutable std::condition_variable fNews;
  // Under fLock.
  std::shared_ptr<const TStatus> fCurrent;
  std::deque<TEvent> fEvents;
  std::uint64_t fLastEvent = 0;
  std::uint64_t fWakes = 0;
  // The text of a snapshot, by its sequence and uptime.
  mutable std::mutex fTextLock;
  mutable std::shared_ptr<const std::string> fText;
  mutable std::uint64_t fTextSequence = 0;
  mutable std::int64_t fTextUptime = -1;
};

}  // namespace lumora::control
