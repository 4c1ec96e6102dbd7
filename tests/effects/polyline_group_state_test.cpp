#include "effects/polyline_group_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "effects/split_tool.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "render/work_budget.h"
#include "scene/lines_and_paths.h"
#include "support/lamp_fixtures.h"

namespace lumora {
namespace {

using test::addGridLayer;

constexpr TWinColor kCell = 0x00FE8040;
constexpr TColor32 kCellArgb = 0xFF4080FE;

// A 100-pixel line at y = 10 driving columns 0 to 2 and rows 0 to 1 as six
// round dots 4 pixels wide, at x = 0, 20, … 100.
std::unique_ptr<TLine> groupLine(std::uint8_t order) {
  auto line = std::make_unique<TLine>(nullptr);
  line->SetEndpoints({0, 10 * kFixedOne}, {100 * kFixedOne, 10 * kFixedOne});
  line->SetLineWidth(4 * kFixedOne);
  line->SetSelected(false);
  line->SetEditMode(false);
  line->SetChannelMode(8);
  line->SetEffect(CreateEffect(kEffectPolyLineGroup));
  auto& group = dynamic_cast<TPolyLineGroupState&>(line->Effect());
  group.CellRange = {0, 0, 2, 1};
  group.SegmentStyle = ssRoundDots;
  group.Order = order;
  return line;
}

TPolyLineGroupState& groupOf(TGraphicBase& g) { return dynamic_cast<TPolyLineGroupState&>(g.Effect()); }

// One frame of 2 rows and 3 columns with the cells given lit.
std::unique_ptr<TFrameDataLayers> gridWith(std::initializer_list<std::pair<std::int32_t, std::int32_t>> lit) {
  auto layers = std::make_unique<TFrameDataLayers>();
  std::vector<std::unique_ptr<TFrameData>> frames;
  frames.push_back(std::make_unique<TFrameData>(2, 3));
  for (const auto& [r, c] : lit) frames.back()->SetCell(r, c, kCell);
  addGridLayer(*layers, std::move(frames));
  return layers;
}

// Which of the six dot centres show the cell colour after one frame.
std::vector<bool> litPieces(TGraphicBase& g, TFrameDataLayers& layers) {
  TBitmap32 bitmap;
  bitmap.Resize(110, 20);
  bitmap.Clear(clBlack32);
  g.DrawFrame(layers, 0, bitmap);
  std::vector<bool> lit;
  for (std::int32_t k = 0; k < 6; ++k) lit.push_back(bitmap.ReadPixel(20 * k, 10) == kCellArgb);
  return lit;
}

TEST(PolyLineGroupState, CellsDrivePiecesInColumnOrder) {
  TBitmap32 bitmap;
  bitmap.Resize(110, 20);
  auto ordered = groupLine(1);
  ordered->Effect().SetCoverageFrozen(true, bitmap);
  ASSERT_NE(groupOf(*ordered).Pieces(), nullptr);
  ASSERT_EQ(groupOf(*ordered).Pieces()->Count(), 6);
  auto rowOne = gridWith({{1, 0}});
  EXPECT_EQ(litPieces(*ordered, *rowOne), (std::vector<bool>{false, true, false, false, false, false}))
      << "Order 1: cell (row 1, column 0) drives piece 1";
  auto columnOne = gridWith({{0, 1}});
  EXPECT_EQ(litPieces(*ordered, *columnOne), (std::vector<bool>{false, false, true, false, false, false}))
      << "cell (row 0, column 1) drives piece 2";

  auto reversed = groupLine(0);
  reversed->Effect().SetCoverageFrozen(true, bitmap);
  auto first = gridWith({{0, 0}});
  EXPECT_EQ(litPieces(*reversed, *first), (std::vector<bool>{false, false, false, false, false, true}))
      << "Order 0: cell (row 0, column 0) drives piece 5";

  auto allButOne = gridWith({{0, 0}, {1, 0}, {0, 1}, {0, 2}, {1, 2}});
  EXPECT_EQ(litPieces(*ordered, *allButOne), (std::vector<bool>{true, true, true, false, true, true}))
      << "the dark cell (row 1, column 1) leaves piece 3 dark";

  ordered->Effect().SetCoverageFrozen(false, bitmap);
  EXPECT_EQ(groupOf(*ordered).Pieces(), nullptr) << "released";
  EXPECT_EQ(litPieces(*ordered, *allButOne), std::vector<bool>(6, false)) << "no pieces, nothing drawn";
}

TEST(PolyLineGroupState, StaticDrawsKeepTheFrozenPieces) {
  TBitmap32 bitmap;
  bitmap.Resize(110, 20);
  auto line = groupLine(1);
  line->SetLineColor(0x000000FF);
  line->Effect().SetCoverageFrozen(true, bitmap);
  const TGraphicBaseList* frozen = groupOf(*line).Pieces();
  line->SetGridLayer(3);
  auto layers = gridWith({});
  bitmap.Clear(clBlack32);
  line->DrawFrame(*layers, 0, bitmap);
  for (std::int32_t k = 0; k < 6; ++k) {
    EXPECT_EQ(bitmap.ReadPixel(20 * k, 10), 0xFFFF0000u) << "GridLayer beyond the list: dot " << k << " static";
  }
  EXPECT_EQ(bitmap.ReadPixel(10, 10), clBlack32) << "dots, not the line";
  EXPECT_EQ(groupOf(*line).Pieces(), frozen) << "the frozen pieces survive the static draw";

  auto whole = groupLine(1);
  whole->SetLineColor(0x000000FF);
  groupOf(*whole).SegmentStyle = ssLinePieces;
  bitmap.Clear(clBlack32);
  whole->Draw(bitmap);
  EXPECT_EQ(bitmap.ReadPixel(10, 10), 0xFFFF0000u) << "line pieces draw the whole outline";
}

TEST(PolyLineGroupState, OneCellAndEmptyRanges) {
  TBitmap32 bitmap;
  bitmap.Resize(110, 20);
  auto single = groupLine(1);
  groupOf(*single).CellRange = {2, 1, 2, 1};
  single->Effect().SetCoverageFrozen(true, bitmap);
  EXPECT_EQ(single->GridRow(), 1) << "the owner is bound to the one cell";
  EXPECT_EQ(single->GridColumn(), 2);
  EXPECT_EQ(groupOf(*single).Pieces()->Count(), 0);
  auto layers = gridWith({{1, 2}});
  EXPECT_EQ(litPieces(*single, *layers), std::vector<bool>(6, false));
  bitmap.Clear(clBlack32);
  single->Draw(bitmap);
  for (const TColor32 p : bitmap.Bits()) ASSERT_EQ(p, clBlack32) << "one cell: no dots to draw";

  auto empty = groupLine(1);
  groupOf(*empty).CellRange = {3, 0, 2, 1};
  empty->Effect().SetCoverageFrozen(true, bitmap);
  EXPECT_EQ(groupOf(*empty).Pieces()->Count(), 0);
  bitmap.Clear(clBlack32);
  empty->Draw(bitmap);
  for (const TColor32 p : bitmap.Bits()) ASSERT_EQ(p, clBlack32) << "no cells, no dots";

  auto huge = groupLine(1);
  groupOf(*huge).CellRange = {0, 0, 2147483647, 2147483647};
  huge->Effect().SetCoverageFrozen(true, bitmap);
  EXPECT_EQ(groupOf(*huge).Pieces()->Count(), 0) << "beyond the piece cap";
  EXPECT_EQ(litPieces(*huge, *layers), std::vector<bool>(6, false));
}

TEST(PolyLineGroupState, RecordAndExport) {
  auto line = groupLine(1);
  TPolyLineGroupState& group = groupOf(*line);
  group.Reserved = 77;
  TStreamWriter writer;
  group.WriteBody(writer);
  ASSERT_EQ(writer.Data().size(), kPolyLineGroupRecordSize);
  TPolyLineGroupState read(line.get());
  TMemoryInput input(writer.Data());
  TStreamReader reader(input, "record");
  read.ReadBody(reader);
  EXPECT_EQ(read.CellRange, group.CellRange);
  EXPECT_EQ(read.SegmentStyle, ssRoundDots);
  EXPECT_EQ(read.Reserved, 77);
  EXPECT_EQ(read.Order, 1);
  TPolyLineGroupState copy(line.get());
  copy.AssignFrom(group);
  EXPECT_EQ(copy.Reserved, 77);
  EXPECT_EQ(copy.CellRange, group.CellRange);

  TStreamWriter exported;
  group.WriteExport(exported);
  TMemoryInput in(exported.Data());
  TStreamReader out(in, "export");
  std::int32_t count = 0;
  out.ReadS32(count);
  ASSERT_EQ(count, 6);
  const std::size_t pieceSize = (exported.Data().size() - 4) / 6;
  ASSERT_EQ(exported.Data().size(), 4 + 6 * pieceSize) << "six dots of one size";
  const std::pair<std::int32_t, std::int32_t> cells[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}};
  for (std::size_t k = 0; k < 6; ++k) {
    std::vector<std::uint8_t> bytes(pieceSize);
    ASSERT_TRUE(out.ReadBytes(bytes));
    const auto s32 = [&](std::size_t at) {
      return static_cast<std::int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                       static_cast<std::uint32_t>(bytes[at + 3]) << 24);
    };
    EXPECT_EQ(s32(28), cells[k].first) << "piece " << k << " row";
    EXPECT_EQ(s32(32), cells[k].second) << "piece " << k << " column";
  }
  EXPECT_EQ(group.Pieces(), nullptr) << "the export's pieces are freed";
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// Without a grid layer each frame shows the static draw; frozen dots are
// repainted from the freeze instead of being cut anew each frame, with the
// same pixels.
TEST(PolyLineGroupState, WithoutAGridLayerFramesRepaintTheFrozenDots) {
  std::array<TBitmap32, 2> bitmaps;
  for (TBitmap32& b : bitmaps) {
    b.Resize(110, 20);
    b.Clear(clBlack32);
  }
  auto statics = groupLine(1);
  statics->Draw(bitmaps[0]);
  auto frozen = groupLine(1);
  frozen->Effect().SetCoverageFrozen(true, bitmaps[1]);
  bitmaps[1].Clear(clBlack32);
  TFrameDataLayers none;
  const TWorkBudget frame;
  frozen->DrawFrame(none, 0, bitmaps[1]);
  EXPECT_EQ(frame.Used().Graphics, 0u) << "no piece is made for a frame";
  EXPECT_TRUE(std::equal(bitmaps[0].Bits().begin(), bitmaps[0].Bits().end(), bitmaps[1].Bits().begin()));
  EXPECT_NE(bitmaps[1].ReadPixel(20, 10), clBlack32) << "the dots are drawn";
}

// The widest ranges have 2^32 cells a side; their product does not fit in
// 64 bits and answers kTooManyCells, which no split takes.
TEST(CellRange, CountsCellsWithoutOverflow) {
  constexpr std::int32_t kMin = INT32_MIN;
  constexpr std::int32_t kMax = INT32_MAX;
  const std::pair<TCellRange, std::int64_t> cases[] = {
      {{0, 0, 0, 0}, 1},
      {{3, 0, 2, 1}, 0},
      {{kMin, 0, kMax, 0}, std::int64_t{1} << 32},
      {{0, 0, kMax, kMax}, std::int64_t{1} << 62},
      {{kMin, 0, kMax, kMax}, TCellRange::kTooManyCells},
      {{kMin, kMin, kMax, kMax}, TCellRange::kTooManyCells},
  };
  for (const auto& [range, cells] : cases) {
    EXPECT_EQ(range.CellCount(), cells) << range.FirstColumn << ".." << range.LastColumn;
  }
}

}  // namespace
}  // namespace lumora
