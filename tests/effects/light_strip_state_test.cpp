#include "effects/light_strip_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "grid/frame_data.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "scene/graphic_base.h"

namespace lumora {
namespace {

// A graphic whose flattened outline is the points given.
class TPathGraphic : public TGraphicBase {
 public:
  explicit TPathGraphic(TPoints path, std::uint8_t typeCode = 1) : TGraphicBase(nullptr), Path(std::move(path)) {
    SetTypeCode(typeCode);
    SetSelected(false);
    SetEffect(CreateEffect(kEffectLightStrip));
  }
  std::string ClassName() const override { return "TPathGraphic"; }
  TPoints Path;
  void GetFlatPath(TPoints& points) override { points = Path; }
  TDengDaiState& Strip() { return dynamic_cast<TDengDaiState&>(Effect()); }
};

// Ten one-pixel lamps at x = 0, 3, … 27 of row 0.
std::unique_ptr<TPathGraphic> tenLamps() {
  auto g = std::make_unique<TPathGraphic>(TPoints{{0, 0}, {27, 0}});
  g->Strip().LampSize = 1;
  g->Strip().SpacingFactor = 3;
  return g;
}

// The lamps lit in row 0 of a fresh frame drawn by the strip.
std::vector<std::int32_t> litAfterFrame(TPathGraphic& g) {
  TFrameDataLayers layers;
  TBitmap32 bitmap;
  bitmap.Resize(30, 1);
  bitmap.Clear(clBlack32);
  g.DrawFrame(layers, 0, bitmap);
  std::vector<std::int32_t> lit;
  for (std::int32_t x = 0; x < 30; ++x) {
    if (bitmap.ReadPixel(x, 0) != clBlack32) lit.push_back(x / 3);
  }
  return lit;
}

using TLit = std::vector<std::int32_t>;

TEST(DengDaiState, PlaceLamps) {
  EXPECT_EQ(TDengDaiState::PlaceLamps({{0, 0}, {10, 0}}, 3), (TPoints{{0, 0}, {3, 0}, {6, 0}, {9, 0}, {10, 0}}))
      << "a carry of 1 adds the end point";
  EXPECT_EQ(TDengDaiState::PlaceLamps({{0, 0}, {9, 0}}, 3), (TPoints{{0, 0}, {3, 0}, {6, 0}, {9, 0}}))
      << "no carry, no extra lamp";
  EXPECT_EQ(TDengDaiState::PlaceLamps({{0, 0}, {2, 0}, {2, 5}}, 3), (TPoints{{0, 0}, {2, 1}, {2, 4}, {2, 5}}))
      << "the carry of 2 moves the second lamp to (2, 1)";
  EXPECT_TRUE(TDengDaiState::PlaceLamps({{4, 4}}, 3).empty());
  EXPECT_TRUE(TDengDaiState::PlaceLamps({{0, 0}, {9, 0}}, 0).empty());
  EXPECT_EQ(TDengDaiState::PlaceLamps({{0, 0}, {2000000000, 0}}, 1).size(), kMaxLamps) << "capped";
}

TEST(DengDaiState, ChaseOrderAndLampSizeOne) {
  auto g = tenLamps();
  g->Strip().HoldFrames = 0;
  g->Strip().DirectionMode = 0;
  TBitmap32 bitmap;
  bitmap.Resize(30, 1);
  g->Draw(bitmap);
  ASSERT_EQ(g->Strip().Lamps().size(), 10u);
  EXPECT_EQ(bitmap.ReadPixel(3, 0), 0xFFFFFF00u) << "a one-pixel lamp in LampColor";
  EXPECT_EQ(bitmap.ReadPixel(0, 0), 0u) << "phase 0 against the outline: key 10 - i, lamps 1, 4 and 7";
  EXPECT_EQ(litAfterFrame(*g), (TLit{1, 4, 7}));
  EXPECT_EQ(litAfterFrame(*g), (TLit{2, 5, 8}));
  EXPECT_EQ(litAfterFrame(*g), (TLit{0, 3, 6, 9}));
  EXPECT_EQ(litAfterFrame(*g), (TLit{1, 4, 7}));

  EXPECT_EQ(g->Strip().LitLamps(1, true), (std::vector<std::size_t>{0, 1, 4, 5, 8, 9}))
      << "four-lamp phase 1 forward: index mod 4 is 0 or 1";
  g->Strip().DirectionMode = 1;
  litAfterFrame(*g);
  EXPECT_FALSE(g->Strip().Forward());
  EXPECT_EQ(g->Strip().LitLamps(0, false), (std::vector<std::size_t>{7, 4, 1}))
      << "backwards: key 10 - i, drawn from the last lamp";
  EXPECT_EQ(g->Strip().LitLamps(1, true), (std::vector<std::size_t>{1, 2, 5, 6, 9}))
      << "backwards four-lamp: key 10 - i mod 4 is 0 or 1, drawn first to last";
  EXPECT_TRUE(g->Strip().LitLamps(4, true).empty());
}

TEST(DengDaiState, HoldAndAlternation) {
  auto g = tenLamps();
  g->Strip().HoldFrames = 2;
  std::vector<std::int32_t> phases;
  TFrameDataLayers layers;
  TBitmap32 bitmap;
  for (int i = 0; i < 11; ++i) {
    g->DrawFrame(layers, 0, bitmap);
    phases.push_back(g->Strip().Phase());
  }
  EXPECT_EQ(phases, (std::vector<std::int32_t>{0, 0, 1, 1, 1, 2, 2, 2, 0, 0, 0}));

  auto alt = tenLamps();
  for (int call = 1; call <= 202; ++call) {
    alt->DrawFrame(layers, 0, bitmap);
    const bool forward = call >= 101 && call < 202;
    ASSERT_EQ(alt->Strip().Forward(), forward) << "call " << call;
  }
}

TEST(DengDaiState, BoundStripsAndDegenerateLamps) {
  auto g = tenLamps();
  g->SetGridRow(0);
  g->SetGridColumn(0);
  TBitmap32 bitmap;
  bitmap.Resize(30, 1);
  g->Draw(bitmap);
  bitmap.Clear(clBlack32);
  TFrameDataLayers layers;
  g->DrawFrame(layers, 0, bitmap);
  for (const TColor32 p : bitmap.Bits()) ASSERT_EQ(p, clBlack32) << "a bound strip draws nothing";

  for (const std::int32_t size : {0, -3, kMaxLampSize + 1}) {
    auto s = tenLamps();
    s->Strip().LampSize = size;
    s->Draw(bitmap);
    EXPECT_TRUE(s->Strip().Lamps().empty()) << "LampSize " << size;
    EXPECT_TRUE(litAfterFrame(*s).empty()) << "LampSize " << size;
  }
  TPathGraphic led(TPoints{{0, 0}, {27, 0}}, 12);
  led.Strip().SpacingFactor = -4;
  led.Draw(bitmap);
  EXPECT_TRUE(led.Strip().Lamps().empty()) << "an LED matrix has no lamp outline";
  EXPECT_EQ(led.Strip().SpacingFactor, 1) << "a spacing factor below 1 becomes 1";
}

TEST(DengDaiState, StampIsARoundLamp) {
  auto g = tenLamps();
  g->Strip().LampSize = 5;
  g->Strip().SpacingFactor = 1;
  TBitmap32 bitmap;
  bitmap.Resize(30, 5);
  g->Draw(bitmap);
  const TBitmap32& stamp = g->Strip().LampStamp();
  ASSERT_EQ(stamp.Width(), 5);
  EXPECT_EQ(stamp.DrawMode, dmBlend);
  EXPECT_EQ(AlphaComponent(stamp.ReadPixel(2, 2)), 255) << "opaque centre";
  EXPECT_EQ(stamp.ReadPixel(2, 2) & 0x00FFFFFF, 0x00FFFF00u) << "yellow";
  EXPECT_LT(AlphaComponent(stamp.ReadPixel(0, 0)), AlphaComponent(stamp.ReadPixel(2, 0))) << "round corners";
  EXPECT_EQ(stamp.ReadPixel(0, 0), stamp.ReadPixel(4, 4));
  EXPECT_EQ(stamp.ReadPixel(0, 4), stamp.ReadPixel(4, 0));
}

TEST(DengDaiState, MaskCutsLamps) {
  auto g = tenLamps();
  g->Strip().DirectionMode = 0;
  g->Strip().HoldFrames = 0;
  TBitmap32 bitmap;
  bitmap.Resize(30, 1);
  g->Draw(bitmap);
  TBitmap32 mask;
  mask.Resize(5, 1);
  mask.Clear(0xFF000000);
  mask.WritePixel(3, 0, 0x40000000);
  g->ApplyMask(mask);
  const auto& maps = g->Strip().LampMasks();
  ASSERT_EQ(maps.size(), 10u);
  EXPECT_EQ(maps[0]->Value(0, 0), 254) << "round(255 x 255 / 256)";
  EXPECT_EQ(maps[1]->Value(0, 0), 64) << "round(255 x 64 / 256) = round(63.75)";
  EXPECT_TRUE(maps[2]->IsEmpty()) << "outside the mask bitmap, nothing is kept";

  litAfterFrame(*g);
  litAfterFrame(*g);
  bitmap.Clear(clBlack32);
  TFrameDataLayers layers;
  g->DrawFrame(layers, 0, bitmap);
  EXPECT_EQ(bitmap.ReadPixel(0, 0), BlendReg(0xFEFFFF00, clBlack32, 255)) << "lamp 0 through its map";
  EXPECT_EQ(bitmap.ReadPixel(9, 0), clBlack32) << "lamp 3 outside the mask stays dark";

  g->Effect().SetCoverageFrozen(true, bitmap);
  EXPECT_FALSE(g->Strip().LampMasks().empty());
  g->Effect().SetCoverageFrozen(false, bitmap);
  EXPECT_TRUE(g->Strip().LampMasks().empty()) << "released with the coverage";
}

TEST(DengDaiState, RecordAndCopies) {
  auto g = tenLamps();
  TDengDaiState& s = g->Strip();
  s.LampColor = 0x00123456;
  s.DirectionMode = 1;
  s.PatternLength = 4;
  s.HoldFrames = 9;
  TStreamWriter writer;
  s.WriteBody(writer);
  ASSERT_EQ(writer.Data().size(), kLightStripRecordSize);
  TDengDaiState read(g.get());
  TMemoryInput input(writer.Data());
  TStreamReader reader(input, "record");
  read.ReadBody(reader);
  EXPECT_EQ(read.LampColor, 0x00123456);
  EXPECT_EQ(read.LampSize, 1);
  EXPECT_EQ(read.DirectionMode, 1);
  EXPECT_EQ(read.PatternLength, 4);
  EXPECT_EQ(read.SpacingFactor, 3);
  EXPECT_EQ(read.HoldFrames, 9);

  TDengDaiState copy(g.get());
  copy.AssignFrom(s);
  EXPECT_EQ(copy.LampColor, 0x00123456);
  EXPECT_EQ(copy.PatternLength, 4);
  EXPECT_EQ(copy.HoldFrames, 1) << "HoldFrames is not copied";
}

}  // namespace
}  // namespace lumora
