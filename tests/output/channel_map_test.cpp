// Filling a frame's channels: grid cells in every scan order, colour orders
// and levels, points of the drawn frame and lamps, overlaps and gaps.
#include "output/channel_map.h"

#include <gtest/gtest.h>

#include "output_fixtures.h"

namespace lumora::output {
namespace {

using test::Bytes;

Bytes fill(const std::string& fixtures, const TFrameView& frame) {
  TChannelPatch patch = ParseChannelPatch(R"({"fixtures": [)" + fixtures + "]}", "map.patch", test::SmallMovie());
  TChannelMap map(std::move(patch.Fixtures), patch.ChannelCount);
  Bytes channels;
  map.Fill(frame, channels);
  return channels;
}

TFrameView gridFrame(const TGridCells& grid) {
  TFrameView frame;
  frame.Grid = &grid;
  return frame;
}

// Channel triples (red, green, blue) of a test grid of layer 0 are (row,
// column, 1).
Bytes cells(std::initializer_list<std::pair<int, int>> rowsAndColumns) {
  Bytes out;
  for (const auto& [row, column] : rowsAndColumns) out.insert(out.end(), {std::uint8_t(row), std::uint8_t(column), 1});
  return out;
}

TEST(ChannelMap, GridCellsFollowTheScanOrder) {
  const test::TTestGrid grid(test::SmallMovie().GridLayers);
  const std::string block = R"("source": "grid", "layer": 0, "rows": [1, 2], "columns": [3, 5], "start": 1)";
  const struct {
    std::string Scan;
    Bytes Channels;
  } cases[] = {
      {R"("order": "rows")", cells({{1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 4}, {2, 5}})},
      {R"("order": "rows", "serpentine": true)", cells({{1, 3}, {1, 4}, {1, 5}, {2, 5}, {2, 4}, {2, 3}})},
      {R"("order": "columns")", cells({{1, 3}, {2, 3}, {1, 4}, {2, 4}, {1, 5}, {2, 5}})},
      {R"("order": "columns", "serpentine": true)", cells({{1, 3}, {2, 3}, {2, 4}, {1, 4}, {1, 5}, {2, 5}})},
  };
  for (const auto& c : cases) EXPECT_EQ(fill("{" + block + ", " + c.Scan + "}", gridFrame(grid)), c.Channels) << c.Scan;
}

TEST(ChannelMap, ColourOrdersAndLevels) {
  const test::TTestGrid grid(test::SmallMovie().GridLayers);
  // Cell (1, 2) of layer 1: red 1, green 2, blue 17.
  const std::string cell = R"("source": "grid", "layer": 1, "rows": [1, 1], "columns": [2, 2], "start": 1)";
  const struct {
    std::string Look;
    Bytes Channels;
  } cases[] = {
      {R"("colours": "RGB")", {1, 2, 17}},         {R"("colours": "RBG")", {1, 17, 2}},
      {R"("colours": "GRB")", {2, 1, 17}},         {R"("colours": "GBR")", {2, 17, 1}},
      {R"("colours": "BRG")", {17, 1, 2}},         {R"("colours": "BGR")", {17, 2, 1}},
      {R"("colours": "intensity")", {17}},         {R"("brightness": 40)", {0, 1, 7}},
      {R"("brightness": 0)", {0, 0, 0}},           {R"("gamma": 2.2)", {0, 0, 1}},
      {R"("gamma": 0.5)", {16, 23, 66}},
  };
  for (const auto& c : cases) EXPECT_EQ(fill("{" + cell + ", " + c.Look + "}", gridFrame(grid)), c.Channels) << c.Look;
  const TLevelTable gamma = MakeLevelTable(100, 2.2);
  EXPECT_EQ((std::array{gamma[0], gamma[128], gamma[255]}), (std::array<std::uint8_t, 3>{0, 56, 255}));
  EXPECT_EQ(MakeLevelTable(50, 2.2)[255], 128);
}

TEST(ChannelMap, PointsAndLampsAreSampledInTheDrawnFrame) {
  TBitmap32 bitmap;
  test::PaintCoordinates(bitmap, 60, 40);
  test::TTestLamps lamps;
  // The strip's third lamp lies off the frame and its last two are missing.
  lamps.Centres[{1, 2}] = {{5, 6}, {59, 39}, {60, 0}};
  const TFrameView frame{nullptr, &bitmap, {10, 20}, &lamps};
  const struct {
    std::string Fixture;
    Bytes Channels;
  } cases[] = {
      {R"({"source": "pixels", "points": [[0, 0], [49, 19], [50, 0]], "start": 1})",
       {10, 20, 7, 59, 39, 7, 0, 0, 0}},
      {R"({"source": "pixels", "rectangle": {"from": [0, 0], "to": [4, 2], "columns": 2, "rows": 2,
          "serpentine": true}, "colours": "intensity", "start": 1})",
       {20, 20, 22, 22}},
      {R"({"source": "pixels", "line": {"from": [0, 0], "to": [2, 0], "count": 3}, "colours": "BGR", "start": 1})",
       {7, 20, 10, 7, 20, 11, 7, 20, 12}},
      {R"({"source": "lamps", "layer": 1, "graphic": 2, "start": 1})",
       {5, 6, 7, 59, 39, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(fill(c.Fixture, frame), c.Channels) << c.Fixture;
}

TEST(ChannelMap, LaterFixturesWinAndWhatIsMissingIsZero) {
  const test::TTestGrid grid(test::SmallMovie().GridLayers);
  const std::string first = R"({"source": "grid", "layer": 0, "rows": [0, 0], "columns": [0, 1], "start": 3})";
  const std::string second = R"({"source": "grid", "layer": 1, "rows": [1, 1], "columns": [2, 2], "start": 5})";
  EXPECT_EQ(fill(first + "," + second, gridFrame(grid)), (Bytes{0, 0, 0, 0, 1, 2, 17, 1}));
  EXPECT_EQ(fill(second + "," + first, gridFrame(grid)), (Bytes{0, 0, 0, 0, 1, 0, 1, 1}));
  EXPECT_EQ(fill(first, TFrameView{}), (Bytes(8, 0)));
  // A grid of the frame smaller than the movie said gives 0 past its end.
  const test::TTestGrid smaller({{1, 1}});
  EXPECT_EQ(fill(first, gridFrame(smaller)), (Bytes{0, 0, 0, 0, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace lumora::output
