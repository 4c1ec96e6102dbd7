#include "control/status.h"

#include <ctime>
#include <functional>

namespace lumora::control {

namespace {

// Events kept for readers that fall behind, and messages in a snapshot.
constexpr std::size_t kKeptEvents = 256;
constexpr std::size_t kKeptMessages = 12;

std::string isoTime(std::chrono::system_clock::time_point time) {
  const std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

nlohmann::json outputJson(const TOutputStatus& output) {
  nlohmann::json json = {{"name", output.Name}, {"packets-per-second", output.PacketsPerSecond},
                         {"failed", output.Failed}};
  if (!output.LastError.empty()) json["last-error"] = output.LastError;
  return json;
}

// Seconds rounded to milliseconds, so snapshots do not differ in noise.
double seconds(double s) { return static_cast<double>(static_cast<std::int64_t>(s * 1000 + (s < 0 ? -0.5 : 0.5))) / 1000; }

}  // namespace

const char* PlayStateName(TPlayState state) {
  switch (state) {
    case TPlayState::Idle: return "idle";
    case TPlayState::Playing: return "playing";
    case TPlayState::Paused: return "paused";
    case TPlayState::Stopping: return "stopping";
  }
  return "idle";
}

nlohmann::json ShowStatusJson(const TShowStatus& show) {
  nlohmann::json outputs = nlohmann::json::array();
  for (const TOutputStatus& output : show.Outputs) outputs.push_back(outputJson(output));
  return {{"state", PlayStateName(show.State)},
          {"file", show.File},
          {"entry", show.Entry},
          {"entries", show.Entries},
          {"entry-name", show.EntryName},
          {"frame", show.Frame},
          {"frames", show.Frames},
          {"interval", show.Interval},
          {"entry-elapsed", seconds(show.EntryElapsed)},
          {"entry-remaining", seconds(show.EntryRemaining)},
          {"pass-elapsed", seconds(show.PassElapsed)},
          {"pass-remaining", show.PassRemaining < 0 ? nlohmann::json(nullptr) : nlohmann::json(seconds(show.PassRemaining))},
          {"pass", show.Pass},
          {"passes", show.Passes},
          {"stop-at", show.StopAt.empty() ? nlohmann::json(nullptr) : nlohmann::json(show.StopAt)},
          {"started-by", show.StartedBy},
          {"protected", show.Protected},
          {"volume", show.Volume},
          {"muted", show.Muted},
          {"brightness", show.Brightness},
          {"blackout", show.Blackout},
          {"output", show.OutputOn},
          {"test", show.Test},
          {"lights", show.Lights},
          {"outputs", outputs},
          {"fixtures", show.Fixtures},
          {"warnings", show.Warnings}};
}

nlohmann::json EventJson(const TEvent& event) {
  return {{"sequence", event.Sequence}, {"kind", event.Kind}, {"text", event.Text}, {"time", isoTime(event.Time)}};
}

TStatusBoard::TStatusBoard(TStatusIdentity identity)
    : fIdentity(std::move(identity)), fCurrent(std::make_shared<const TStatus>()) {}

void TStatusBoard::publish(const std::function<void(TStatus&)>& change) {
  {
    const std::lock_guard lock(fLock);
    auto next = std::make_shared<TStatus>(*fCurrent);
    change(*next);
    ++next->Sequence;
    fCurrent = std::move(next);
  }
  fNews.notify_all();
}

void TStatusBoard::PublishShow(const TShowStatus& show) {
  {
    const std::lock_guard lock(fLock);
    if (fCurrent->Show == show) return;
  }
  publish([&](TStatus& status) { status.Show = show; });
}

void TStatusBoard::PublishSection(const std::string& key, nlohmann::json value) {
  auto shared = std::make_shared<const nlohmann::json>(std::move(value));
  publish([&](TStatus& status) { status.Sections[key] = shared; });
}

void TStatusBoard::Tell(const std::string& kind, const std::string& text) {
  TEvent event{0, kind, text, std::chrono::system_clock::now()};
  {
    const std::lock_guard lock(fLock);
    event.Sequence = ++fLastEvent;
    fEvents.push_back(event);
    if (fEvents.size() > kKeptEvents) fEvents.pop_front();
  }
  if (kind == "entry") {
    fNews.notify_all();
    return;
  }
  publish([&](TStatus& status) {
    status.Messages.push_back(event);
    if (status.Messages.size() > kKeptMessages) status.Messages.erase(status.Messages.begin());
  });
}

std::shared_ptr<const TStatus> TStatusBoard::Current() const {
  const std::lock_guard lock(fLock);
  return fCurrent;
}

nlohmann::json TStatusBoard::Json() const { return Json(*Current()); }

nlohmann::json TStatusBoard::Json(const TStatus& status) const {
  nlohmann::json json = ShowStatusJson(status.Show);
  for (const auto& [key, section] : status.Sections) json[key] = *section;
  nlohmann::json messages = nlohmann::json::array();
  for (const TEvent& event : status.Messages) messages.push_back(EventJson(event));
  json["messages"] = std::move(messages);
  json["sequence"] = status.Sequence;
  json["version"] = fIdentity.Version;
  json["host"] = fIdentity.Host;
  json["uptime"] = uptime();
  return json;
}

std::int64_t TStatusBoard::uptime() const {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - fIdentity.Started).count();
}

std::shared_ptr<const std::string> TStatusBoard::JsonText() const {
  const std::shared_ptr<const TStatus> status = Current();
  const std::int64_t now = uptime();
  const std::lock_guard lock(fTextLock);
  if (!fText || fTextSequence != status->Sequence || fTextUptime != now) {
    fText = std::make_shared<const std::string>(
        Json(*status).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    fTextSequence = status->Sequence;
    fTextUptime = now;
  }
  return fText;
}

std::vector<TEvent> TStatusBoard::EventsAfter(std::uint64_t seen) const {
  const std::lock_guard lock(fLock);
  std::vector<TEvent> events;
  for (const TEvent& event : fEvents) {
    if (event.Sequence > seen) events.push_back(event);
  }
  return events;
}

std::uint64_t TStatusBoard::LastEvent() const {
  const std::lock_guard lock(fLock);
  return fLastEvent;
}

bool TStatusBoard::WaitForNews(std::uint64_t seenStatus, std::uint64_t seenEvent,
                               std::chrono::milliseconds wait) const {
  std::unique_lock lock(fLock);
  const std::uint64_t wakes = fWakes;
  return fNews.wait_for(lock, wait, [&] {
    return fCurrent->Sequence > seenStatus || fLastEvent > seenEvent || fWakes != wakes;
  });
}

void TStatusBoard::Wake() {
  {
    const std::lock_guard lock(fLock);
    ++fWakes;
  }
  fNews.notify_all();
}

}  // namespace lumora::control
