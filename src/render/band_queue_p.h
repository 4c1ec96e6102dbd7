// TBandQueue: the threads that paint the bands of a frame while the frame
// is still being recorded. The recording hands its steps over in chunks;
// each band paints the chunks in their order, one thread at a time, and
// the bands of a chunk in any order on any thread. n threads are the
// caller and n - 1 helpers, which sleep while there is nothing to paint.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumora::bands {

class TBandQueue {
 public:
  // paint(chunk, band) paints one band's part of one chunk; it must not throw.
  using TPaint = std::function<void(std::int32_t chunk, std::int32_t band)>;

  // Threads in all, the caller's included; below 1 counts as 1.
  explicit TBandQueue(std::int32_t threads);
  ~TBandQueue();
  TBandQueue(const TBandQueue&) = delete;
  TBandQueue& operator=(const TBandQueue&) = delete;

  std::int32_t Threads() const { return static_cast<std::int32_t>(fHelpers.size()) + 1; }
  // New work of that many bands, painted through paint (which must live
  // until Finish), without chunks yet. Not while work is unfinished.
  void Start(std::int32_t bands, const TPaint* paint);
  // Chunks [0, count) are recorded and may be painted.
  void Submit(std::int32_t count);
  // The caller paints too, until every band has painted every chunk
  // submitted; then no helper touches the work any more.
  void Finish();

 private:
  struct TBandState {
    std::atomic<std::int32_t> Painted{0};
    std::atomic<bool> Busy{false};
  };

  void helperLoop();
  bool paintAvailable();
  bool allPainted() const;

  std::vector<std::thread> fHelpers;
  std::unique_ptr<TBandState[]> fBands;
  std::int32_t fBandCapacity = 0;
  std::int32_t fBandCount = 0;
  const TPaint* fPaint = nullptr;
  std::atomic<std::int32_t> fSubmitted{0};

  std::mutex fMutex;
  std::condition_variable fWake;
  std::condition_variable fIdle;
  // Guarded by fMutex: a count of submissions helpers wake for, the last
  // one whose work is finished, the helpers awake, and shutdown.
  std::uint64_t fGeneration = 0;
  std::uint64_t fFinished = 0;
  std::int32_t fAwake = 0;
  bool fStop = false;
};

}  // namespace lumora::bands
