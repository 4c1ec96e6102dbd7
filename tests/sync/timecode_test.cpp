// Timecode counting at the four rates: labels worked out by hand around the
// drop-frame minutes, every frame of a day round-tripped, seconds of a show
// with and without a fixed hour.
#include <gtest/gtest.h>

#include "sync/timecode.h"

namespace lumora::sync {
namespace {

constexpr auto kDf = TTimecodeRate::DropFrame2997;

TEST(Timecode, LabelsOfFrameCounts) {
  const struct {
    std::int64_t Count;
    TTimecodeRate Rate;
    std::string Label;
  } cases[] = {
      {0, TTimecodeRate::Film24, "00:00:00:00"},
      {24 * 3600 + 23, TTimecodeRate::Film24, "01:00:00:23"},
      {25 * 61 + 24, TTimecodeRate::Ebu25, "00:01:01:24"},
      {30 * 3599, TTimecodeRate::Smpte30, "00:59:59:00"},
      // Drop-frame: 00 and 01 are skipped at every minute but the tenth.
      {1799, kDf, "00:00:59;29"},
      {1800, kDf, "00:01:00;02"},
      {3597, kDf, "00:01:59;29"},
      {3598, kDf, "00:02:00;02"},
      {17981, kDf, "00:09:59;29"},
      {17982, kDf, "00:10:00;00"},
      {17983, kDf, "00:10:00;01"},
      {17982 + 1800, kDf, "00:11:00;02"},
      {107892, kDf, "01:00:00;00"},
      {2589407, kDf, "23:59:59;29"},
      // A day on, the count wraps; before 0, it counts back from midnight.
      {2589408, kDf, "00:00:00;00"},
      {-1, TTimecodeRate::Ebu25, "23:59:59:24"},
  };
  for (const auto& c : cases) {
    const TTimecode t = TimecodeFromFrameCount(c.Count, c.Rate);
    EXPECT_EQ(FormatTimecode(t), c.Label) << c.Count;
    EXPECT_TRUE(IsValidTimecode(t)) << c.Label;
  }
}

TEST(Timecode, EveryFrameOfADayRoundTrips) {
  for (const TTimecodeRate rate : {TTimecodeRate::Film24, TTimecodeRate::Ebu25, kDf, TTimecodeRate::Smpte30}) {
    std::int64_t faults = 0;
    for (std::int64_t count = 0; count < FramesPerDay(rate); ++count) {
      faults += FrameCountFromTimecode(TimecodeFromFrameCount(count, rate)) != count;
    }
    EXPECT_EQ(faults, 0) << static_cast<int>(rate);
  }
}

TEST(Timecode, InvalidLabels) {
  const TTimecode invalid[] = {
      {0, 1, 0, 0, kDf},  {0, 1, 0, 1, kDf},  {23, 59, 0, 1, kDf},        {0, 0, 0, 25, TTimecodeRate::Ebu25},
      {24, 0, 0, 0, kDf}, {0, 60, 0, 0, kDf}, {0, 0, 60, 0, kDf},         {0, 0, 0, 24, TTimecodeRate::Film24},
      {0, 0, 0, 0, static_cast<TTimecodeRate>(4)},
  };
  for (const TTimecode& t : invalid) EXPECT_FALSE(IsValidTimecode(t)) << FormatTimecode(t);
  EXPECT_TRUE(IsValidTimecode({0, 10, 0, 0, kDf}));
  EXPECT_TRUE(IsValidTimecode({0, 1, 0, 2, kDf}));
}

TEST(Timecode, SecondsOfAShow) {
  EXPECT_EQ(FormatTimecode(TimecodeAt(0, TTimecodeRate::Ebu25)), "00:00:00:00");
  EXPECT_EQ(FormatTimecode(TimecodeAt(-3, TTimecodeRate::Ebu25)), "00:00:00:00");
  EXPECT_EQ(FormatTimecode(TimecodeAt(61.5, TTimecodeRate::Ebu25)), "00:01:01:12");
  EXPECT_EQ(FormatTimecode(TimecodeAt(61.5, TTimecodeRate::Ebu25, 10)), "10:01:01:12");
  EXPECT_EQ(FormatTimecode(TimecodeAt(3600, TTimecodeRate::Smpte30, 23)), "00:00:00:00");
  // 60 s of real time at 29.97 is 1798.2 frames: 00:01:00;00 is skipped.
  EXPECT_EQ(FormatTimecode(TimecodeAt(60, kDf)), "00:00:59;28");
  EXPECT_EQ(FormatTimecode(TimecodeAt(600, kDf)), "00:10:00;00");
  // A frame's own start time lands on it, whatever the rounding.
  for (std::int64_t count = 0; count < 20000; count += 7) {
    const TTimecode t = TimecodeFromFrameCount(count, kDf);
    ASSERT_EQ(TimecodeAt(SecondsOf(t), kDf), t) << count;
  }
  EXPECT_DOUBLE_EQ(SecondsOf({10, 0, 2, 5, TTimecodeRate::Ebu25}, 10), 2.2);
  EXPECT_DOUBLE_EQ(SecondsOf({9, 0, 0, 0, TTimecodeRate::Ebu25}, 10), 23 * 3600.0);
}

TEST(Timecode, RateNames) {
  EXPECT_EQ(ParseTimecodeRate("24"), TTimecodeRate::Film24);
  EXPECT_EQ(ParseTimecodeRate("25"), TTimecodeRate::Ebu25);
  EXPECT_EQ(ParseTimecodeRate("29.97"), kDf);
  EXPECT_EQ(ParseTimecodeRate("df"), kDf);
  EXPECT_EQ(ParseTimecodeRate("30"), TTimecodeRate::Smpte30);
  EXPECT_EQ(ParseTimecodeRate("29"), std::nullopt);
  EXPECT_EQ(ParseTimecodeRate(""), std::nullopt);
}

}  // namespace
}  // namespace lumora::sync
