#include "render/band_workers_p.h"

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

TBandWorkers::TBandWorkers(std::int32_t threads) {
  for (std::int32_t i = 1; i < threads; ++i) fHelpers.emplace_back([this] { helperLoop(); });
}

TBandWorkers::~TBandWorkers() {
  {
    const std::lock_guard lock(fMutex);
    fStop = true;
  }
  fWake.notify_all();
  for (std::thread& helper : fHelpers) helper.join();
}

void TBandWorkers::takeBands(const std::function<void(std::int32_t)>& paint, std::int32_t count) {
  for (std::int32_t b = fNext.fetch_add(1, std::memory_order_relaxed); b < count;
       b = fNext.fetch_add(1, std::memory_order_relaxed)) {
    paint(b);
  }
}

// A helper takes bands of each run it wakes for while the run lasts; the
// run does not end before every helper that joined it has left it.
void TBandWorkers::helperLoop() {
  std::uint64_t seen = 0;
  std::unique_lock lock(fMutex);
  while (true) {
    fWake.wait(lock, [&] { return fStop || fRun != seen; });
    if (fStop) return;
    seen = fRun;
    if (fCount == 0) continue;
    const std::function<void(std::int32_t)>& paint = *fPaint;
    const std::int32_t count = fCount;
    ++fBusyHelpers;
    lock.unlock();
    takeBands(paint, count);
    lock.lock();
    if (--fBusyHelpers == 0) fDone.notify_one();
  }
}

void TBandWorkers::Run(std::int32_t count, const std::function<void(std::int32_t)>& paint) {
  if (fHelpers.empty() || count <= 1) {
    for (std::int32_t b = 0; b < count; ++b) paint(b);
    return;
  }
  {
    const std::lock_guard lock(fMutex);
    fPaint = &paint;
    fCount = count;
    fNext.store(0, std::memory_order_relaxed);
    ++fRun;
  }
  fWake.notify_all();
  takeBands(paint, count);
  std::unique_lock lock(fMutex);
  // Helpers waking from now on find no run; those inside it finish first.
  fCount = 0;
  fPaint = nullptr;
  fDone.wait(lock, [&] { return fBusyHelpers == 0; });
}

}  // namespace bands
}  // namespace lumora
