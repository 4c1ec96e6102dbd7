// Packing stored coverage into segments: the exact words rows become, the
// runs of segments per band, when a packing is stale, and its memory
// charged to the budget in force.
#include "render/packed_coverage.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/memory_budget.h"

namespace lumora {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<std::pair<std::size_t, std::uint8_t>> runs) {
  std::vector<std::uint8_t> row;
  for (const auto& [count, value] : runs) row.insert(row.end(), count, value);
  return row;
}

std::vector<std::uint32_t> packed(const TPoint& origin, const std::vector<std::uint8_t>& row) {
  TCoverageMask mask;
  mask.RowOrigins.push_back(origin);
  mask.CoverageRows.push_back(row);
  TPackedCoverage coverage;
  coverage.Pack(mask);
  return {coverage.Words().begin(), coverage.Words().end()};
}

TEST(PackedCoverage, RowsBecomeSegments) {
  struct TCase {
    std::string Name;
    TPoint Origin;
    std::vector<std::uint8_t> Row;
    std::vector<std::uint32_t> Words;
  };
  const std::uint32_t full = kFullSegment;
  const std::vector<TCase> cases = {
      {"empty row", {5, 3}, {}, {}},
      {"only empty bytes", {5, 3}, bytes({{40, 0}}), {}},
      {"leading and trailing empty bytes left out", {5, 3}, bytes({{2, 0}, {1, 9}, {1, 200}, {3, 0}}),
       {7, 3, 2, 0x0000C809}},
      {"short empty and full runs stay in the segment", {0, 1}, bytes({{1, 9}, {31, 0}, {47, 255}, {1, 8}}),
       {0, 1, 80, 0x00000009, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
        0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x08FFFFFF}},
      {"a long empty run splits", {0, 1}, bytes({{1, 9}, {32, 0}, {1, 8}}), {0, 1, 1, 9, 33, 1, 1, 8}},
      {"a long full run is its length alone", {-4, 0}, bytes({{1, 7}, {48, 255}, {2, 6}}),
       {static_cast<std::uint32_t>(-4), 0, 1, 7, static_cast<std::uint32_t>(-3), 0, 48 | full,
        45, 0, 2, 0x0606}},
  };
  for (const TCase& c : cases) EXPECT_EQ(packed(c.Origin, c.Row), c.Words) << c.Name;
}

// Segments above the surface belong to no band; rows out of order make a
// band's segments come in several runs.
TEST(PackedCoverage, RunsFollowTheBands) {
  TCoverageMask mask;
  for (const std::int32_t y : {-1, 0, 3, 4, 9, 1}) {
    mask.RowOrigins.push_back({0, y});
    mask.CoverageRows.push_back({50});
  }
  TPackedCoverage coverage;
  coverage.Pack(mask);
  // Every segment is four words: a header and one word of bytes.
  const TBandRuns runs = coverage.Runs(4);
  ASSERT_EQ(runs.size(), 4u);
  const std::vector<std::vector<std::uint32_t>> expected = {{0, 4, 12}, {1, 12, 16}, {2, 16, 20}, {0, 20, 24}};
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ((std::vector<std::uint32_t>{static_cast<std::uint32_t>(runs[i].Band), runs[i].First, runs[i].End}),
              expected[i])
        << "run " << i;
  }
  EXPECT_EQ(coverage.Runs(100).size(), 1u) << "the runs follow a new band height";
}

TEST(PackedCoverage, MatchesTheRowsItWasPackedFrom) {
  TCoverageMask mask;
  mask.RowOrigins.push_back({0, 0});
  mask.CoverageRows.push_back({1, 2, 3});
  TPackedCoverage coverage;
  EXPECT_FALSE(coverage.Matches(mask)) << "nothing packed yet";
  coverage.Pack(mask);
  EXPECT_TRUE(coverage.Matches(mask));
  coverage.Forget();
  EXPECT_FALSE(coverage.Matches(mask)) << "forgotten after a change in place";
  coverage.Pack(mask);
  mask.RowOrigins.push_back({0, 1});
  mask.CoverageRows.push_back({4});
  EXPECT_FALSE(coverage.Matches(mask)) << "rows added";
}

TEST(PackedCoverage, ChargesTheBudget) {
  TCoverageMask mask;
  for (std::int32_t y = 0; y < 100; ++y) {
    mask.RowOrigins.push_back({0, y});
    mask.CoverageRows.push_back(std::vector<std::uint8_t>(400, 100));
  }
  TPackedCoverage coverage;
  {
    const TMemoryBudget budget(40000);
    EXPECT_THROW(coverage.Pack(mask), EMemoryBudget);
  }
  const TMemoryBudget budget(1 << 20);
  coverage.Pack(mask);
  EXPECT_EQ(budget.Used(), (100 * (3 + 100) + kSegmentPaddingWords) * sizeof(std::uint32_t));
}

}  // namespace
}  // namespace lumora
