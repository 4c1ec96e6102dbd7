// TBandWorkers: the threads that paint the bands of a frame. The caller
// works too, so n threads mean n - 1 helpers, which sleep between frames.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lumora::bands {

class TBandWorkers {
 public:
  // Threads in all, the caller's included; below 1 counts as 1.
  explicit TBandWorkers(std::int32_t threads);
  ~TBandWorkers();
  TBandWorkers(const TBandWorkers&) = delete;
  TBandWorkers& operator=(const TBandWorkers&) = delete;

  std::int32_t Threads() const { return static_cast<std::int32_t>(fHelpers.size()) + 1; }
  // paint(b) once for every b of [0, count), each on whichever thread takes
  // it first; returns when all are done. paint must not throw.
  void Run(std::int32_t count, const std::function<void(std::int32_t)>& paint);

 private:
  void helperLoop();
  void takeBands(const std::function<void(std::int32_t)>& paint, std::int32_t count);

  std::vector<std::thread> fHelpers;
  std::mutex fMutex;
  std::condition_variable fWake;
  std::condition_variable fDone;
  // Guarded by fMutex: the job of the current run, 0 bands between runs.
  const std::function<void(std::int32_t)>* fPaint = nullptr;
  std::int32_t fCount = 0;
  std::uint64_t fRun = 0;
  std::int32_t fBusyHelpers = 0;
  bool fStop = false;
  std::atomic<std::int32_t> fNext{0};
};

}  // namespace lumora::bands
