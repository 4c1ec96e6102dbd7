// The player's clock under an injected real clock: run fast or slow by its
// rate, and the ticks paced on deadlines so that fractions of milliseconds
// add up to no drift, a stall is not made up in a burst.
#include <gtest/gtest.h>

#include <cmath>

#include "sync/player_clock.h"

namespace lumora::sync {
namespace {

struct TFakeReal {
  double Seconds = 100;
  TRealClock Clock() {
    return [this] {
      return TSyncTime(std::chrono::duration_cast<TSyncClock::duration>(std::chrono::duration<double>(Seconds)));
    };
  }
};

double secondsOf(TSyncTime t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }

TEST(PlayerClock, RunsAtItsRate) {
  for (const double rate : {1.0, 1.02, 0.98}) {
    TFakeReal real;
    const TPlayerClock clock(rate, real.Clock());
    EXPECT_NEAR(secondsOf(clock.Now()), 100, 1e-9);
    real.Seconds = 150;
    EXPECT_NEAR(secondsOf(clock.Now()), 100 + 50 * rate, 1e-6) << rate;
    EXPECT_NEAR(clock.RealMs(30), 30 / rate, 1e-12);
  }
}

// 29.4 ms ticks (30 ms at 1.02) waited in whole milliseconds: 10,000 of
// them take 294 s, not 290 or 300.
TEST(PlayerClock, PacesWithoutDrift) {
  TFakeReal real;
  TTickPacer pacer(real.Clock());
  pacer.Restart();
  const double interval = 30 / 1.02;
  for (int i = 0; i < 10000; ++i) {
    const int wait = pacer.Next(interval);
    EXPECT_GE(wait, 29);
    EXPECT_LE(wait, 30);
    real.Seconds += wait / 1000.0;
  }
  EXPECT_NEAR(real.Seconds - 100, 10000 * interval / 1000, 0.001);
}

TEST(PlayerClock, LateTicks) {
  TFakeReal real;
  TTickPacer pacer(real.Clock());
  pacer.Restart();
  EXPECT_EQ(pacer.Next(30), 30);
  real.Seconds += 0.040;
  EXPECT_EQ(pacer.Next(30), 20) << "10 ms late: the next keeps its deadline";
  EXPECT_FALSE(pacer.Stalled());
  real.Seconds += 0.200;
  EXPECT_EQ(pacer.Next(30), 30) << "a stall counts from now";
  EXPECT_TRUE(pacer.Stalled());
  real.Seconds += 0.030;
  EXPECT_EQ(pacer.Next(30), 30);
  EXPECT_FALSE(pacer.Stalled());
  real.Seconds += 0.030;
  EXPECT_EQ(pacer.Next(-5), 0) << "no interval: due at once";
}

}  // namespace
}  // namespace lumora::sync
