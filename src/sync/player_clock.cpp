#include "sync/player_clock.h"

#include <algorithm>
#include <cmath>

namespace lumora::sync {

namespace {

TSyncClock::duration fromMs(double ms) {
  return std::chrono::duration_cast<TSyncClock::duration>(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace

TPlayerClock::TPlayerClock(double rate, TRealClock real) : fRate(rate), fReal(std::move(real)), fStart(fReal()) {}

TSyncTime TPlayerClock::Now() const {
  if (fRate == 1) return fReal();
  const auto elapsed = std::chrono::duration<double>(fReal() - fStart) * fRate;
  return fStart + std::chrono::duration_cast<TSyncClock::duration>(elapsed);
}

void TTickPacer::Restart() {
  fDue = fReal();
  fStalled = false;
}

int TTickPacer::Next(double intervalMs) {
  const TSyncTime now = fReal();
  const auto interval = fromMs(std::max(0.0, intervalMs));
  fStalled = fDue != TSyncTime{} && now - fDue > interval;
  if (fDue == TSyncTime{} || fStalled) fDue = now;
  fDue += interval;
  const double wait = std::chrono::duration<double, std::milli>(fDue - now).count();
  return static_cast<int>(std::max(0.0, std::round(wait)));
}

}  // namespace lumora::sync
