#include "control/show_library.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "show/headless_show.h"

namespace lumora::control {

namespace {

// The room a grid movie is fitted into, as lumora-play's.
constexpr std::int32_t kRoomWidth = 1920;
constexpr std::int32_t kRoomHeight = 1080;

std::string kindOf(const std::filesystem::path& path) {
  const int kind = ClassifyArgument(path.filename().string());
  if (kind == kArgumentPlayList) return "list";
  if (kind != kArgumentMovie) return {};
  return ContainsNoCase(path.filename().string(), ".ctl") ? "movie" : "grid";
}

struct TStamp {
  std::uintmax_t Size = 0;
  std::int64_t Changed = 0;
};

std::optional<TStamp> stampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return TStamp{static_cast<std::uintmax_t>(info.st_size), info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
}

}  // namespace

TShowLibrary::TShowLibrary(std::string folder)
    : fFolder(std::move(folder)), fWorker([this](std::stop_token stop) { work(stop); }) {}

TShowLibrary::~TShowLibrary() {
  fWorker.request_stop();
  fWake.notify_all();
}

nlohmann::json TShowLibrary::List() {
  std::vector<std::pair<std::string, std::string>> shows;
  std::error_code error;
  for (std::filesystem::directory_iterator it(fFolder, error), end; !error && it != end; it.increment(error)) {
    const std::string kind = kindOf(it->path());
    if (kind.empty() || it->path().filename().string().starts_with('.')) continue;
    shows.emplace_back(it->path().filename().string(), kind);
    if (shows.size() >= kMaxShows) break;
  }
  std::sort(shows.begin(), shows.end());
  nlohmann::json list = nlohmann::json::array();
  for (const auto& [name, kind] : shows) list.push_back(describe(name, kind));
  return list;
}

nlohmann::json TShowLibrary::describe(const std::string& name, const std::string& kind) {
  nlohmann::json show = {{"name", name}, {"kind", kind}, {"length", nullptr}};
  const std::string path = (std::filesystem::path(fFolder) / name).string();
  const std::lock_guard lock(fLock);
  const TMeasure* measure = measured(path);
  if (measure == nullptr || !measure->Done) return show;
  if (!measure->Error.empty()) show["error"] = measure->Error;
  if (kind == "list") {
    show["entries"] = nlohmann::json::array();
    double total = 0;
    bool known = measure->Error.empty();
    for (const std::string& entry : measure->Entries) {
      show["entries"].push_back(std::filesystem::path(entry).filename().string());
      const TMeasure* part = measured(entry);
      known = known && part != nullptr && part->Done && part->Seconds;
      if (known) total += *part->Seconds;
    }
    if (known) show["length"] = total;
  } else if (measure->Seconds) {
    show["length"] = *measure->Seconds;
  }
  return show;
}

// Under fLock: what is known of the file as it is now, asking for it to be
// measured when it is new or has changed.
const TShowLibrary::TMeasure* TShowLibrary::measured(const std::string& path) {
  const std::optional<TStamp> stamp = stampOf(path);
  if (!stamp) return nullptr;
  TMeasure& measure = fMeasures[path];
  if (measure.Size != stamp->Size || measure.Changed != stamp->Changed || measure.Changed == 0) {
    measure = {stamp->Size, stamp->Changed, std::nullopt, {}, {}, false};
    fQueue.push_back(path);
    fWake.notify_one();
  }
  return &measure;
}

std::optional<double> TShowLibrary::LengthOf(const std::string& path) {
  const std::lock_guard lock(fLock);
  const TMeasure* measure = measured(path);
  if (measure == nullptr || !measure->Done) return std::nullopt;
  return measure->Seconds;
}

std::vector<double> TShowLibrary::EntrySeconds(const std::string& path) {
  const std::lock_guard lock(fLock);
  const TMeasure* measure = measured(path);
  if (measure == nullptr || !measure->Done || !measure->Error.empty()) return {};
  if (measure->Seconds) return {*measure->Seconds};
  // Copied, since measuring an entry may renew the records.
  const std::vector<std::string> entries = measure->Entries;
  std::vector<double> seconds;
  for (const std::string& entry : entries) {
    const TMeasure* part = measured(entry);
    if (part == nullptr || !part->Done || !part->Seconds) return {};
    seconds.push_back(*part->Seconds);
  }
  return seconds;
}

void TShowLibrary::Settle() {
  std::unique_lock lock(fLock);
  fIdle.wait(lock, [this] { return fQueue.empty() && !fBusy; });
}

// One show at a time, loaded as lumora-play would load it without its
// music; a play list is measured entry by entry.
void TShowLibrary::work(std::stop_token stop) {
  std::unique_lock lock(fLock);
  for (;;) {
    fWake.wait(lock, stop, [this] { return !fQueue.empty(); });
    if (stop.stop_requested()) return;
    const std::string path = fQueue.front();
    fQueue.pop_front();
    if (fMeasures[path].Done) continue;
    fBusy = true;
    lock.unlock();
    TMeasure result;
    try {
      THeadlessShow show(kRoomWidth, kRoomHeight);
      show.Engine.ExtractMusic = false;
      show.Open(path);
      if (show.Engine.PlayListActive()) {
        result.Entries = show.Engine.PlayList();
      } else {
        result.Seconds = show.Engine.Frames().Max * show.Engine.TickInterval() / 1000.0;
      }
    } catch (const std::exception& error) {
      result.Error = error.what();
    }
    lock.lock();
    fBusy = false;
    TMeasure& measure = fMeasures[path];
    measure.Seconds = result.Seconds;
    measure.Entries = std::move(result.Entries);
    measure.Error = std::move(result.Error);
    measure.Done = true;
    for (const std::string& entry : measure.Entries) measured(entry);
    if (fQueue.empty()) fIdle.notify_all();
  }
}

}  // namespace lumora::control
