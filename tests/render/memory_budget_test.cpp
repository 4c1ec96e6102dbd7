#include "render/memory_budget.h"

#include <gtest/gtest.h>

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

TEST(MemoryBudget, StoredCoverageIsChargedRowByRow) {
  TBitmap32 surface;
  surface.Resize(64, 64);
  TGR32Graphics graphics;
  graphics.Bitmap = &surface;
  graphics.Antialias = true;
  graphics.BrushColor = clWhite32;
  const TFixedPoint square[] = {FixedPoint(10.0f, 10.0f), FixedPoint(30.0f, 10.0f), FixedPoint(30.0f, 30.0f),
                                FixedPoint(10.0f, 30.0f)};
  std::uint64_t needed = 0;
  {
    const TMemoryBudget budget;
    graphics.FillPolygon(square);
    needed = budget.Used();
  }
  std::uint64_t stored = 0;
  for (const auto& row : graphics.CoverageRows) stored += row.size();
  EXPECT_EQ(needed, stored);
  const TMemoryBudget tight(needed - 1);
  EXPECT_THROW(graphics.FillPolygon(square), EMemoryBudget);
}

}  // namespace
}  // namespace lumora
