// TShowLibrary: the movies and play lists of the show folder, as the
// control page lists them, with the playing length of each. Lengths are
// measured by loading each show once on a thread of its own, never on the
// engine's, and kept until the file changes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumora::control {

class TShowLibrary {
 public:
  // Folders of more shows than this are listed in part.
  static constexpr std::size_t kMaxShows = 2000;

  explicit TShowLibrary(std::string folder);
  ~TShowLibrary();
  TShowLibrary(const TShowLibrary&) = delete;
  TShowLibrary& operator=(const TShowLibrary&) = delete;

  // Any thread: [{"name", "kind", "length", "entries"?, "error"?}], by
  // name; a length not measured yet is null and is measured soon.
  nlohmann::json List();
  // Seconds of one pass of the show at the path, once measured.
  std::optional<double> LengthOf(const std::string& path);
  // Seconds each entry of the show at the path plays once, in order (one
  // for a movie), once all are measured; empty until then.
  std::vector<double> EntrySeconds(const std::string& path);
  // Waits until everything asked for so far is measured; for tests.
  void Settle();

 private:
  struct TMeasure {
    std::uintmax_t Size = 0;
    std::int64_t Changed = 0;
    std::optional<double> Seconds;
    std::vector<std::string> Entries;
    std::string Error;
    bool Done = false;
  };

  nlohmann::json describe(const std::string& path, const std::string& kind);
  const TMeasure* measured(const std::string& path);
  void work(std::stop_token stop);

  std::string fFolder;
  std::mutex fLock;
  std::condition_variable_any fWake;
  std::condition_variable_any fIdle;
  // Under fLock.
  std::map<std::string, TMeasure> fMeasures;
  std::deque<std::string> fQueue;
  bool fBusy = false;
  std::jthread fWorker;
};

}  // namespace lumora::control
