// The player's clock and the pacing of its ticks. The clock is real time,
// or for tests real time run fast or slow by a rate, so that two players on
// one machine keep time as two machines whose crystals differ. The pacer
// schedules the show's ticks on deadlines, each interval as the follower
// scales it, so that whole milliseconds of timer never add up to drift.
#pragma once

#include <functional>

#include "sync/follower.h"

namespace lumora::sync {

using TRealClock = std::function<TSyncTime()>;

class TPlayerClock {
 public:
  explicit TPlayerClock(double rate = 1, TRealClock real = TSyncClock::now);

  // The player's time: real time since the clock was made, times the rate.
  TSyncTime Now() const;
  double Rate() const { return fRate; }
  // The real milliseconds that many of the player's take.
  double RealMs(double playerMs) const { return playerMs / fRate; }

 private:
  double fRate;
  TRealClock fReal;
  TSyncTime fStart;
};

class TTickPacer {
 public:
  explicit TTickPacer(TRealClock real = TSyncClock::now) : fReal(std::move(real)) {}

  // Playback starts (again): ticks count from now.
  void Restart();
  // A tick came: the next is due intervalMs (real) after this one was due.
  // Whole milliseconds to wait from now, 0 when late; a tick more than an
  // interval late counts from now, so that a stall is not made up in a
  // burst.
  int Next(double intervalMs);
  // Whether the tick Next was last called for came more than an interval
  // late: the player stalled.
  bool Stalled() const { return fStalled; }

 private:
  TRealClock fReal;
  TSyncTime fDue{};
  bool fStalled = false;
};

}  // namespace lumora::sync
