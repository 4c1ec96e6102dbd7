#include "render/memory_budget.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/bitmap32.h"
#include "render/gr32_graphics.h"
#include "render/mask_maps.h"

namespace lumora {
namespace {

TEST(MemoryBudget, ChargesUpToTheLimitAndNotABytePast) {
  const TMemoryBudget budget(100);
  ChargeMemory(60, "a");
  ChargeMemory(40, "b");
  EXPECT_EQ(budget.Used(), 100u);
  EXPECT_THROW(ChargeMemory(1, "c"), EMemoryBudget);
  EXPECT_EQ(budget.Used(), 100u);
}

TEST(MemoryBudget, NamesTheLimitAndWhatPassedIt) {
  const TMemoryBudget budget(std::uint64_t{3} << 20);
  try {
    ChargeMemory(std::uint64_t{4} << 20, "lamp positions");
    FAIL();
  } catch (const EMemoryBudget& e) {
    EXPECT_STREQ(e.what(), "the show needs more than 3 MiB of memory to draw (at lamp positions)");
  }
}

TEST(MemoryBudget, NestedBudgetsAllCountAndTheTightestRefuses) {
  const TMemoryBudget outer(1000);
  {
    const TMemoryBudget inner(50);
    ChargeMemory(50, "a");
    EXPECT_THROW(ChargeMemory(1, "b"), EMemoryBudget);
    EXPECT_EQ(outer.Used(), 50u);
  }
  ChargeMemory(950, "c");
  EXPECT_THROW(ChargeMemory(1, "d"), EMemoryBudget);
  EXPECT_EQ(outer.Used(), 1000u);
}

TEST(MemoryBudget, ChargesAreFreeWithoutABudget) {
  EXPECT_NO_THROW(ChargeMemory(UINT64_MAX, "anything"));
  EXPECT_NO_THROW(ChargeMemory(UINT64_MAX, "anything"));
}

TEST(MemoryBudget, SurfacesAndMapsChargeTheirBytesAndAFailedOneKeepsItsSize) {
  const TMemoryBudget budget(100 * 4 + 64);
  TBitmap32 surface;
  surface.Resize(10, 10);
  TByteMap map;
  map.SetSize(8, 8);
  EXPECT_EQ(budget.Used(), 464u);
  EXPECT_THROW(surface.Resize(10, 11), EMemoryBudget);
  EXPECT_EQ(surface.Width(), 10);
  EXPECT_EQ(surface.Height(), 10);
  EXPECT_THROW(map.SetSize(1, 1), EMemoryBudget);
  EXPECT_EQ(map.Width(), 8);
}

// A white anti-aliased brush on a surface of its own.
struct TFilling {
  TFilling(std::int32_t width, std::int32_t height) {
    Surface.Resize(width, height);
    Graphics.Bitmap = &Surface;
    Graphics.Antialias = true;
    Graphics.BrushColor = clWhite32;
  }
  std::uint64_t StoredBytes() const {
    std::uint64_t stored = 0;
    for (const auto& row : Graphics.Coverage.CoverageRows) {
      stored += kCoverageRowBytes + (row.empty() ? 0 : row.size() + kCoverageAllocationBytes);
    }
    return stored;
  }

  TBitmap32 Surface;
  TGR32Graphics Graphics;
};

const TFixedPoint kSquare[] = {FixedPoint(10.0f, 10.0f), FixedPoint(30.0f, 10.0f), FixedPoint(30.0f, 30.0f),
                               FixedPoint(10.0f, 30.0f)};

TEST(MemoryBudget, StoredCoverageIsChargedRowByRow) {
  TFilling filling(64, 64);
  std::uint64_t needed = 0;
  {
    const TMemoryBudget budget;
    filling.Graphics.FillPolygon(kSquare);
    needed = budget.Used();
  }
  EXPECT_EQ(needed, filling.StoredBytes());
  const TMemoryBudget tight(needed - 1);
  EXPECT_THROW(filling.Graphics.FillPolygon(kSquare), EMemoryBudget);
}

TEST(MemoryBudget, AChargeForTheLengthOfAStepIsGivenBackToEveryBudget) {
  const TMemoryBudget outer(1000);
  const TMemoryBudget inner(100);
  ChargeMemory(10, "kept");
  {
    const TMemoryCharge scratch(90, "scratch");
    EXPECT_EQ(inner.Used(), 100u);
    EXPECT_THROW(TMemoryCharge(1, "more scratch"), EMemoryBudget);
  }
  EXPECT_EQ(inner.Used(), 10u);
  EXPECT_EQ(outer.Used(), 10u);
}

// A 20-pixel square at the drawing interface's level (8 sub-lines a pixel):
// the band runs over sub-lines 80 … 240, each side crosses all 161 and may
// turn once, and the table indexes 161 lines twice over, plus one.
TEST(MemoryBudget, TheCrossingTableIsChargedWhileTheOutlineConverts) {
  constexpr std::uint64_t kTableBytes = 2 * 162 * 4 + (2 * 161 + 1) * 8;
  TFilling filling(64, 64);
  filling.Graphics.FillPolygon(kSquare);
  const std::uint64_t stored = filling.StoredBytes();
  {
    const TMemoryBudget exact(stored + kTableBytes);
    EXPECT_NO_THROW(filling.Graphics.FillPolygon(kSquare));
    EXPECT_EQ(exact.Used(), stored);
  }
  {
    const TMemoryBudget oneShort(stored + kTableBytes - 1);
    EXPECT_THROW(filling.Graphics.FillPolygon(kSquare), EMemoryBudget);
  }
  const TMemoryBudget noRoomForTheTable(kTableBytes - 1);
  try {
    filling.Graphics.FillPolygon(kSquare);
    FAIL();
  } catch (const EMemoryBudget& e) {
    EXPECT_NE(std::string(e.what()).find("(at crossings of an outline)"), std::string::npos);
  }
}

// Ten thousand edges each crossing all 32,768 sub-lines of a tall surface
// would need 1.3 GB of crossings and as many steps; it is refused up front.
TEST(MemoryBudget, AnOutlineCrossingMoreSubLinesThanTheBudgetHoldsIsRefusedBeforeItIsWalked) {
  TFilling filling(16, 4096);
  std::vector<TFixedPoint> zigzag;
  for (int i = 0; i < 10000; ++i) zigzag.push_back(FixedPoint(static_cast<float>(i % 16), i % 2 ? 5000.0f : -5000.0f));
  const TMemoryBudget budget;
  EXPECT_THROW(filling.Graphics.FillPolygon(zigzag), EMemoryBudget);
  EXPECT_EQ(budget.Used(), 0u);
}

}  // namespace
}  // namespace lumora
