#include "render/band_queue_p.h"

#include <sched.h>

#include <algorithm>

#include "render/band_painter.h"

namespace lumora {

std::int32_t AvailableCores() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof cpus, &cpus) == 0) return std::max(CPU_COUNT(&cpus), 1);
  return static_cast<std::int32_t>(std::max(std::thread::hardware_concurrency(), 1u));
}

namespace bands {

TBandQueue::TBandQueue(std::int32_t threads) {
  for (std::int32_t i = 1; i < threads; ++i) fHelpers.emplace_back([this] { helperLoop(); });
}

TBandQueue::~TBandQueue() {
  {
    const std::lock_guard lock(fMutex);
    fStop = true;
  }
  fWake.notify_all();
  for (std::thread& helper : fHelpers) helper.join();
}

void TBandQueue::Start(std::int32_t bands, const TPaint* paint) {
  if (bands > fBandCapacity) {
    fBands = std::make_unique<TBandState[]>(static_cast<std::size_t>(bands));
    fBandCapacity = bands;
  }
  for (std::int32_t b = 0; b < bands; ++b) fBands[b].Painted.store(0, std::memory_order_relaxed);
  fBandCount = bands;
  fPaint = paint;
  fSubmitted.store(0, std::memory_order_relaxed);
}

void TBandQueue::Submit(std::int32_t count) {
  fSubmitted.store(count, std::memory_order_release);
  if (fHelpers.empty()) return;
  {
    const std::lock_guard lock(fMutex);
    ++fGeneration;
  }
  fWake.notify_all();
}

// One sweep over the bands, painting every chunk a band has waiting when no
// other thread paints that band; whether anything was painted.
bool TBandQueue::paintAvailable() {
  bool painted = false;
  for (std::int32_t b = 0; b < fBandCount; ++b) {
    TBandState& band = fBands[b];
    if (band.Painted.load(std::memory_order_acquire) >= fSubmitted.load(std::memory_order_acquire)) continue;
    bool idle = false;
    if (!band.Busy.compare_exchange_strong(idle, true, std::memory_order_acquire)) continue;
    std::int32_t chunk = band.Painted.load(std::memory_order_relaxed);
    for (; chunk < fSubmitted.load(std::memory_order_acquire); ++chunk) (*fPaint)(chunk, b);
    band.Painted.store(chunk, std::memory_order_release);
    band.Busy.store(false, std::memory_order_release);
    painted = true;
  }
  return painted;
}

bool TBandQueue::allPainted() const {
  const std::int32_t submitted = fSubmitted.load(std::memory_order_acquire);
  for (std::int32_t b = 0; b < fBandCount; ++b) {
    if (fBands[b].Painted.load(std::memory_order_acquire) < submitted) return false;
  }
  return true;
}

void TBandQueue::Finish() {
  while (!allPainted()) {
    if (!paintAvailable()) std::this_thread::yield();
  }
  // A helper woken for this work but not yet awake must not start on it.
  std::unique_lock lock(fMutex);
  fIdle.wait(lock, [&] { return fAwake == 0; });
  fFinished = fGeneration;
}

// A helper wakes for each submission and sweeps until a sweep finds
// nothing; work does not finish while a helper is still sweeping it, and a
// helper that wakes only after it finished leaves it alone.
void TBandQueue::helperLoop() {
  std::uint64_t seen = 0;
  std::unique_lock lock(fMutex);
  while (true) {
    fWake.wait(lock, [&] { return fStop || fGeneration != seen; });
    if (fStop) return;
    seen = fGeneration;
    if (seen <= fFinished) continue;
    ++fAwake;
    lock.unlock();
    while (paintAvailable()) {
    }
    lock.lock();
    if (--fAwake == 0) fIdle.notify_all();
  }
}

}  // namespace bands
}  // namespace lumora
