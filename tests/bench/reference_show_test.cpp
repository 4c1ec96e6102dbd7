// The benchmarks' reference show: the same bytes on every call, and as the
// player loads it, the counts the benchmark results are stated for.
#include "bench/reference_show.h"

#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "effects/led_graphic.h"
#include "io/stream.h"
#include "show/headless_show.h"

namespace lumora::bench {
namespace {

// The show loaded into a window of its size, as the benchmarks load it.
class TReferenceShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test runs in a process of its own, maybe beside the other.
    const std::string name = "lumora-reference-show-" + std::to_string(getpid()) + ".ctl";
    fPath = (std::filesystem::temp_directory_path() / name).string();
    fBytes = ReferenceShow();
    WriteFileBytes(fPath, fBytes);
    fEngine.LoadMovie(fPath);
  }
  void TearDown() override {
    fEngine.Shutdown();
    std::error_code ignored;
    std::filesystem::remove(fPath, ignored);
  }

  std::string fPath;
  std::vector<std::uint8_t> fBytes;
  THeadlessShow fShow{kShowWidth, kShowHeight};
  TShowEngine& fEngine = fShow.Engine;
};

TEST_F(TReferenceShowTest, IsTheSameOnEveryCall) { EXPECT_EQ(ReferenceShow(), fBytes); }

TEST_F(TReferenceShowTest, LoadsWithTheStatedCounts) {
  ASSERT_TRUE(fShow.Host.Messages.empty()) << fShow.Host.Messages.front();
  ASSERT_EQ(fEngine.LastLoadError(), "");
  EXPECT_EQ(fEngine.FrameBitmap().Width(), kShowWidth);
  EXPECT_EQ(fEngine.FrameBitmap().Height(), kShowHeight);

  const TFrameDataLayer* grid = fEngine.GridLayers().CurrentLayer();
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->Columns(), kGridColumns);
  EXPECT_EQ(grid->Rows(), kGridRows);
  EXPECT_EQ(grid->Merged.size(), static_cast<std::size_t>(kGridFrames));

  int outlines = 0;
  int filled = 0;
  int leds = 0;
  int strips = 0;
  int maskedLayers = 0;
  std::set<std::string> classes;
  std::set<TFixed> widths;
  for (const auto& layer : fEngine.SceneRoot().Layers()) {
    if (layer->Masked() != 0) {
      ++maskedLayers;
      EXPECT_NE(layer->MaskGraphic(), nullptr) << "a masked layer has its mask";
    }
    for (const auto& graphic : layer->Graphics()) {
      if (auto* led = dynamic_cast<TLEDGraphic*>(graphic.get())) {
        ++leds;
        EXPECT_EQ(led->CellRange.ColumnCount(), kLEDColumns);
        EXPECT_EQ(led->CellRange.RowCount(), kLEDRows);
      } else if (graphic->EffectKind() == kEffectLightStrip) {
        ++strips;
      } else if (graphic->EffectKind() == kEffectPlain) {
        ++outlines;
        filled += graphic->Filled() ? 1 : 0;
        classes.insert(graphic->ClassName());
        widths.insert(graphic->LineWidth());
        EXPECT_GE(graphic->GridRow(), 0);
        EXPECT_GE(graphic->GridColumn(), 0);
      }
    }
  }
  EXPECT_EQ(outlines, kOutlineCount);
  EXPECT_GT(filled, 0);
  EXPECT_LT(filled, outlines / 4);
  const std::set<std::string> expected = {"TLine", "TPolyLine", "TPolyBezier", "TEllipse", "TRectangle", "TPolyStar"};
  EXPECT_EQ(classes, expected);
  EXPECT_EQ(widths.size(), 8u) << "stroke widths 1 to 8 pixels";
  EXPECT_EQ(*widths.begin(), kFixedOne);
  EXPECT_EQ(*widths.rbegin(), 8 * kFixedOne);
  EXPECT_EQ(leds, kLEDCount);
  EXPECT_EQ(strips, kStripCount);
  EXPECT_EQ(maskedLayers, kMaskedLayerCount);
}

}  // namespace
}  // namespace lumora::bench
