// TGifTimeline: which frames a GIF shows and from when, in hundredths.
#include "export/gif_timeline_p.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace lumora {
namespace {

// Each slot as (the frame it shows, its start), then the last slot's delay.
struct TTimelineCase {
  std::vector<std::int64_t> DurationsMs;
  std::vector<std::pair<std::size_t, std::int64_t>> Slots;
  std::int64_t FinalDelay;
};

TEST(GifTimeline, SlotsLastTwoHundredthsAndShowTheirLongestFrame) {
  const std::vector<TTimelineCase> cases = {
      {{30, 30, 30, 30}, {{0, 0}, {1, 3}, {2, 6}, {3, 9}}, 3},
      // Starts rounded one by one, so the length stays 132 ms ≈ 13.
      {{33, 33, 33, 33}, {{0, 0}, {1, 3}, {2, 7}, {3, 10}}, 3},
      // Frames of 5 ms: a slot opens every two hundredths, the last one
      // keeping at least two.
      {{5, 5, 5, 5, 5, 5, 5, 5, 5, 5}, {{2, 0}, {9, 2}}, 3},
      // A slot shows its longest frame, before or after the short ones.
      {{1000, 7, 7, 1000}, {{0, 0}, {3, 100}}, 101},
      {{600000, 10}, {{0, 0}}, 60001},
      {{4}, {{0, 0}}, 0},
  };
  for (const TTimelineCase& c : cases) {
    std::int64_t total = 0;
    for (const std::int64_t d : c.DurationsMs) total += d;
    TGifTimeline timeline(total);
    std::vector<std::pair<std::size_t, std::int64_t>> slots;
    std::int64_t start = 0;
    for (std::size_t i = 0; i < c.DurationsMs.size(); ++i) {
      const TGifStep step = timeline.Add(start, c.DurationsMs[i]);
      if (step.OpensSlot) slots.push_back({i, timeline.SlotStart()});
      if (step.ShowsFrame) slots.back().first = i;
      start += c.DurationsMs[i];
    }
    EXPECT_EQ(slots, c.Slots) << "case of " << c.DurationsMs.size() << " frames from " << c.DurationsMs[0] << " ms";
    EXPECT_EQ(timeline.FinalDelay(), c.FinalDelay);
  }
}

}  // namespace
}  // namespace lumora
